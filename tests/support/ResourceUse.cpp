#include "ResourceUse.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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

namespace {

// The fields of /proc/self/task/<tid>/stat after the command name (which may hold
// blanks): the state is the first, utime the twelfth, stime the thirteenth.
std::vector<std::string> TaskStatFields(pid_t tid)
{
    std::ifstream file("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string text;
    std::getline(file, text);
    const size_t end = text.rfind(')');
    std::vector<std::string> fields;
    if (end == std::string::npos)
        return fields;
    std::istringstream rest(text.substr(end + 1));
    for (std::string field; rest >> field;)
        fields.push_back(field);
    return fields;
}

} // namespace

long ResourceUse::ThreadCpuTicks(pid_t tid)
{
    const std::vector<std::string> fields = TaskStatFields(tid);
    if (fields.size() < 13)
        return -1;
    return std::strtol(fields[11].c_str(), nullptr, 10) + std::strtol(fields[12].c_str(), nullptr, 10);
}

long ResourceUse::ThreadSleeps(pid_t tid)
{
    std::ifstream status("/proc/self/task/" + std::to_string(tid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
            return std::strtol(line.c_str() + std::strlen("voluntary_ctxt_switches:"), nullptr, 10);
    }
    return -1;
}

char ResourceUse::ThreadState(pid_t tid)
{
    const std::vector<std::string> fields = TaskStatFields(tid);
    return fields.empty() || fields[0].empty() ? '?' : fields[0][0];
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
