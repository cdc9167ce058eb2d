#pragma once

#include <functional>
#include <sys/types.h>

// What a process or thread has used, as the kernel counts it: for bounds on memory
// and for comparing the cost of two workloads (never for absolute timings).
class ResourceUse
{
public:
    // Whether resident sizes of this build mean what they say. Sanitizer builds keep
    // freed memory in quarantine and add shadow memory of their own, so there a bound
    // on the resident size says nothing about the program; tests then leave it out.
    static bool MeasuresMemory();
    // The peak resident size (VmHWM) of process `pid` (0: this process) in KiB, read
    // from /proc; -1 when it cannot be read.
    static long PeakResidentKb(pid_t pid = 0);
    // The smallest processor time of `runs` runs of `work` on this thread: the run
    // least disturbed by other programs on the machine.
    static double BestCpuSeconds(int runs, const std::function<void()>& work);
};
