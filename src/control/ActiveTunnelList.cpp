#include "control/ActiveTunnelList.h"

#include "mqtt-c/TunnelRouting.h"
#include "tunnel/CDataTunnel.h"
#include "tunnel/TunnelInbound.h"

#include <algorithm>
#include <string>

void ActiveTunnelList::Add(CDataTunnel* tunnel)
{
    if (tunnel == nullptr) {
        return;
    }
    const std::string gwSn = tunnel->GatewaySn();
    const std::string devSn = tunnel->DeviceSn();
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const bool listed = std::any_of(tunnels_.begin(), tunnels_.end(), [&](const CDataTunnel* t) {
        return t->Match(gwSn.c_str(), devSn.c_str());
    });
    if (!listed) {
        tunnels_.push_back(tunnel);
    }
}

void ActiveTunnelList::Remove(const CDataTunnel* tunnel)
{
    if (tunnel == nullptr) {
        return;
    }
    const std::string gwSn = tunnel->GatewaySn();
    const std::string devSn = tunnel->DeviceSn();
    std::lock_guard<std::recursive_mutex> guard(lock_);
    auto found = std::find_if(tunnels_.begin(), tunnels_.end(),
                              [&](const CDataTunnel* t) { return t->Match(gwSn.c_str(), devSn.c_str()); });
    if (found != tunnels_.end()) {
        tunnels_.erase(found);
    }
}

platform::LResult ActiveTunnelList::Route(cJSON* message, platform::LParam code)
{
    TunnelInbound kind;
    if (!TunnelInboundFromRouteCode(code, &kind)) {
        return 0; // no tunnel reacts to a code that names no tunnel traffic
    }
    return RouteTunnelMessage(message, kind, lock_, tunnels_);
}

std::vector<CDataTunnel*> ActiveTunnelList::Snapshot() const
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return std::vector<CDataTunnel*>(tunnels_.begin(), tunnels_.end());
}

bool ActiveTunnelList::Contains(const CDataTunnel* tunnel) const
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return std::find(tunnels_.begin(), tunnels_.end(), tunnel) != tunnels_.end();
}

bool ActiveTunnelList::Any(const std::function<bool(const CDataTunnel&)>& test) const
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return std::any_of(tunnels_.begin(), tunnels_.end(), [&](const CDataTunnel* t) { return test(*t); });
}
