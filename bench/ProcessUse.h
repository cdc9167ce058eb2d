#pragma once

#include <sys/types.h>

// What another process uses, read from /proc: its processor time in clock ticks (all
// threads, user and system) and its resident size. -1 when it cannot be read.
namespace ProcessUse {

long CpuTicks(pid_t pid);
long TicksPerSecond();
// VmRSS in KiB.
long ResidentKb(pid_t pid);

} // namespace ProcessUse
