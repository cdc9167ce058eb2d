#pragma once

#include <cstdint>

// The integer types of window messages. A message carries two parameters wide
// enough for a pointer; the handler's result is just as wide.
using UINT = unsigned int;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
