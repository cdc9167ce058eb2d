#include "platform/ProcessStat.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

bool ProcessStat::ReadProcFile(const std::string& path, std::string& out)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    out.clear();
    char buffer[512];
    for (;;) {
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        out.append(buffer, static_cast<size_t>(got));
    }
    close(fd);
    return true;
}

ProcessStat ProcessStat::Read(int64_t pid)
{
    ProcessStat result;
    if (pid < 1) {
        return result;
    }
    std::string stat;
    if (!ReadProcFile("/proc/" + std::to_string(pid) + "/stat", stat)) {
        return result;
    }
    size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size()) {
        return result;
    }
    result.state = stat[close + 2];
    // Field 3 starts at close + 2; field 22 is 19 separators further on.
    size_t at = close + 2;
    for (int field = 3; field < 22 && at != std::string::npos; ++field) {
        at = stat.find(' ', at);
        if (at != std::string::npos) {
            ++at;
        }
    }
    if (at != std::string::npos && at < stat.size()) {
        const char* begin = stat.c_str() + at;
        char* end = nullptr;
        errno = 0;
        const unsigned long long value = std::strtoull(begin, &end, 10);
        if (end != begin && errno == 0 && (*end == ' ' || *end == '\n' || *end == '\0')) {
            result.startTime = value;
        }
    }
    return result;
}

bool ProcessStat::IsEndedState(char state)
{
    return state == 0 || state == 'Z' || state == 'X' || state == 'x';
}

} // namespace platform
