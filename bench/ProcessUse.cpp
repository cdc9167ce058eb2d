#include "ProcessUse.h"

#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace ProcessUse {

long CpuTicks(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(file, line)) {
        return -1;
    }
    // The command name (field 2) may hold spaces; the fields after its ')' are fixed:
    // state is field 3, utime field 14, stime field 15.
    const size_t close = line.rfind(')');
    if (close == std::string::npos) {
        return -1;
    }
    std::istringstream fields(line.substr(close + 1));
    std::string field;
    long utime = -1;
    long stime = -1;
    for (int number = 3; number <= 15 && fields >> field; ++number) {
        if (number == 14) {
            utime = std::stol(field);
        } else if (number == 15) {
            stime = std::stol(field);
        }
    }
    return utime < 0 || stime < 0 ? -1 : utime + stime;
}

long TicksPerSecond()
{
    return sysconf(_SC_CLK_TCK);
}

long ResidentKb(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(file, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

} // namespace ProcessUse
