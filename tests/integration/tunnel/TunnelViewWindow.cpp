#include "TunnelViewWindow.h"

#include "mqtt-c/TunnelRouting.h"
#include "mqtt-c/mqtt_envelope.h"
#include "platform/WindowMessages.h"
#include "tunnel/CDataTunnel.h"

#include <cjson/cJSON.h>

#include <algorithm>

namespace {

bool CarriesJson(UINT msg)
{
    return msg == WM_TUNNEL_REPLY || msg == WM_PORT_FORWARD_NOTICE || msg == WM_PORT_FORWARD_DATA ||
           msg == WM_PORT_FORWARD_ACK || msg == WM_PORT_FORWARD_MATCHED;
}

} // namespace

LRESULT TunnelViewWindow::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    std::lock_guard<std::recursive_mutex> guard(listLock_);
    Entry entry{msg, wParam, lParam, std::string()};
    if (CarriesJson(msg)) {
        entry.json = mqtt_json_print(reinterpret_cast<const cJSON*>(lParam));
    }
    if (msg != WM_TUNNEL_MESSAGE) {
        entries_.push_back(entry);
    }
    auto* tunnel = reinterpret_cast<CDataTunnel*>(wParam);
    switch (msg) {
    case WM_TUNNEL_OPENED:
        if (tunnel != nullptr && std::find(active_.begin(), active_.end(), tunnel) == active_.end()) {
            active_.push_back(tunnel);
        }
        break;
    case WM_TUNNEL_CLOSED:
        active_.erase(std::remove(active_.begin(), active_.end(), tunnel), active_.end());
        break;
    case WM_TUNNEL_MESSAGE:
        return RouteTunnelMessage(reinterpret_cast<cJSON*>(wParam), lParam, listLock_, active_);
    case WM_TUNNEL_REPLY: {
        const cJSON* flag = cJSON_GetObjectItem(reinterpret_cast<const cJSON*>(lParam), "flag");
        if (acceptResults && tunnel != nullptr && cJSON_IsNumber(flag) && flag->valueint == 1) {
            tunnel->OnMessage(nullptr, static_cast<int>(TUNNEL_OPEN_ACCEPTED));
        }
        break;
    }
    default:
        break;
    }
    return 0;
}

std::vector<TunnelViewWindow::Entry> TunnelViewWindow::Take()
{
    std::lock_guard<std::recursive_mutex> guard(listLock_);
    std::vector<Entry> taken;
    taken.swap(entries_);
    return taken;
}

std::vector<TunnelViewWindow::Entry> TunnelViewWindow::Entries() const
{
    std::lock_guard<std::recursive_mutex> guard(listLock_);
    return entries_;
}

std::vector<CDataTunnel*> TunnelViewWindow::Active() const
{
    std::lock_guard<std::recursive_mutex> guard(listLock_);
    return active_;
}
