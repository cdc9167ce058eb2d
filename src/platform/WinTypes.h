#pragma once

#include <cstdint>

namespace platform {

// The integer types of window messages. A message carries two parameters wide
// enough for a pointer; the handler's result is just as wide.
using MsgCode = unsigned int;
using WParam = uintptr_t;
using LParam = intptr_t;
using LResult = intptr_t;

// First number free for the program's own messages.
constexpr MsgCode kWmUser = 0x400;

} // namespace platform
