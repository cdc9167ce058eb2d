#include "control/HandledOpenSet.h"

#include <cstring>

namespace {

// The first `limit` bytes of `text`, fewer when it holds a NUL byte before that.
std::string Cut(const std::string& text, size_t limit)
{
    return std::string(text.c_str(), strnlen(text.c_str(), limit));
}

} // namespace

HandledOpenSet::Pair HandledOpenSet::Key(const std::string& gwSn, const std::string& devSn)
{
    return Pair(Cut(gwSn, kGatewaySnLimit), Cut(devSn, kDeviceSnLimit));
}

void HandledOpenSet::Add(const std::string& gwSn, const std::string& devSn)
{
    Pair key = Key(gwSn, devSn);
    std::lock_guard<std::mutex> guard(lock_);
    pairs_.insert(std::move(key));
}

void HandledOpenSet::Remove(const std::string& gwSn, const std::string& devSn)
{
    const Pair key = Key(gwSn, devSn);
    std::lock_guard<std::mutex> guard(lock_);
    pairs_.erase(key);
}

bool HandledOpenSet::Contains(const std::string& gwSn, const std::string& devSn) const
{
    const Pair key = Key(gwSn, devSn);
    std::lock_guard<std::mutex> guard(lock_);
    return pairs_.count(key) != 0;
}
