#pragma once

#include <QString>

namespace platform {

// Where the running program lives: the folder of the executable (/proc/self/exe on
// Linux), without a trailing separator. Empty when it cannot be determined.
QString ExecutableFolder();

} // namespace platform
