#pragma once

#include <QString>

namespace platform {

// Where the running program lives: the folder of the executable (/proc/self/exe on
// Linux), without a trailing separator. Empty when it cannot be determined.
QString ExecutableFolder();

// The running executable itself, as an absolute path with links resolved. Empty when
// it cannot be determined.
QString ExecutablePath();

} // namespace platform
