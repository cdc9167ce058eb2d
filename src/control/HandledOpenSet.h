#pragma once

#include <mutex>
#include <set>
#include <string>
#include <utility>

// The (gateway serial, device serial) pairs whose successful open reply has been
// shown, so that repeats of that reply show nothing. A pair is kept as its first
// kGatewaySnLimit and kDeviceSnLimit bytes (each cut at a NUL byte as well): serials
// that agree up to there are the same pair. Every call may run on any thread.
class HandledOpenSet
{
public:
    static constexpr size_t kGatewaySnLimit = 63;
    static constexpr size_t kDeviceSnLimit = 131;

    void Add(const std::string& gwSn, const std::string& devSn);
    void Remove(const std::string& gwSn, const std::string& devSn);
    bool Contains(const std::string& gwSn, const std::string& devSn) const;

private:
    using Pair = std::pair<std::string, std::string>;
    static Pair Key(const std::string& gwSn, const std::string& devSn);

    mutable std::mutex lock_;
    std::set<Pair> pairs_;
};
