#pragma once

#include "platform/WinTypes.h"

#include <functional>
#include <list>
#include <mutex>
#include <vector>

struct cJSON;
class CDataTunnel;

// The tunnels of this PC that run now, in the order they reported themselves open.
// Inbound tunnel traffic is routed to the first one that matches it. Every call may
// run on any thread: the list has its own lock. The lock is re-entrant because a
// tunnel handling a routed message may report itself closed (Remove) from inside its
// handler, on the same thread, while Route still holds the lock. The tunnels are not
// owned.
class ActiveTunnelList
{
public:
    // Lists `tunnel` unless a listed tunnel already matches its serial numbers.
    void Add(CDataTunnel* tunnel);
    // Takes the first listed tunnel that matches `tunnel`'s serial numbers off the list.
    void Remove(const CDataTunnel* tunnel);

    // Hands a parsed message with its routing code to the first tunnel that matches
    // its "gw_sn" and "dev_sn"; the lock is held while that tunnel handles it.
    platform::LResult Route(cJSON* message, platform::LParam code);

    std::vector<CDataTunnel*> Snapshot() const;
    bool Contains(const CDataTunnel* tunnel) const;
    // Whether a listed tunnel passes `test` (called under the lock).
    bool Any(const std::function<bool(const CDataTunnel&)>& test) const;

private:
    mutable std::recursive_mutex lock_;
    std::list<CDataTunnel*> tunnels_;
};
