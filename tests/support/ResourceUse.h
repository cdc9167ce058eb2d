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
    // What thread `tid` of this process has used, read from /proc/self/task: its
    // processor time (user and system) in clock ticks, and how many times it gave up
    // the processor to wait (voluntary context switches: each sleep that ended counts
    // one). -1 when it cannot be read.
    static long ThreadCpuTicks(pid_t tid);
    static long ThreadSleeps(pid_t tid);
    // The state letter of thread `tid` of this process ('S' while it sleeps), or '?'.
    static char ThreadState(pid_t tid);
    // The smallest processor time of `runs` runs of `work` on this thread: the run
    // least disturbed by other programs on the machine.
    static double BestCpuSeconds(int runs, const std::function<void()>& work);
};
