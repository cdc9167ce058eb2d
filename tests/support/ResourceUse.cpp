#include "ResourceUse.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define LUMETRA_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define LUMETRA_SANITIZED 1
#endif

bool ResourceUse::MeasuresMemory()
{
#ifdef LUMETRA_SANITIZED
    return false;
#else
    return true;
#endif
}

long ResourceUse::PeakResidentKb(pid_t pid)
{
    std::ifstream status(pid == 0 ? std::string("/proc/self/status")
                                  : "/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

// The processor time the calling thread has used, in seconds.
static double ThreadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double ResourceUse::BestCpuSeconds(int runs, const std::function<void()>& work)
{
    double best = -1;
    for (int i = 0; i < runs; ++i) {
        const double start = ThreadCpuSeconds();
        work();
        const double used = ThreadCpuSeconds() - start;
        best = best < 0 ? used : std::min(best, used);
    }
    return best;
}
