#include "PairRecord.h"

#include <limits>
#include <sstream>

std::string PairRecord::Format() const
{
    std::ostringstream out;
    out << "pid " << pid << "\n";
    out << "A " << comA << " " << deviceA << "\n";
    out << "B " << comB << " " << deviceB << "\n";
    return out.str();
}

bool PairRecord::Parse(const std::string& text)
{
    std::istringstream in(text);
    std::string key;
    long long readPid = 0;
    int a = 0;
    int b = 0;
    std::string devA;
    std::string devB;
    // A pid that does not fit pid_t would wrap into another process's (or a group's).
    if (!(in >> key) || key != "pid" || !(in >> readPid) || readPid <= 0 ||
        readPid > std::numeric_limits<pid_t>::max())
        return false;
    if (!(in >> key) || key != "A" || !(in >> a >> devA) || a <= 0)
        return false;
    if (!(in >> key) || key != "B" || !(in >> b >> devB) || b <= 0)
        return false;
    pid = static_cast<pid_t>(readPid);
    comA = a;
    comB = b;
    deviceA = devA;
    deviceB = devB;
    return true;
}
