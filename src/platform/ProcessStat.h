#pragma once

#include <cstdint>
#include <string>

namespace platform {

// What /proc/<pid>/stat ("pid (comm) S ppid ...") says of a process: its state
// letter (field 3) and its start time (field 22, clock ticks after boot). The name
// may itself hold parentheses and spaces, so the last ')' ends it.
struct ProcessStat
{
    char state = 0; // 0: no such process
    uint64_t startTime = 0;

    // The stat of `pid`; state 0 when there is no such process.
    static ProcessStat Read(int64_t pid);
    // True for the state of a process that has ended (none, zombie, dead).
    static bool IsEndedState(char state);
    // Reads a small /proc file whole; false when it is not there.
    static bool ReadProcFile(const std::string& path, std::string& out);
};

} // namespace platform
