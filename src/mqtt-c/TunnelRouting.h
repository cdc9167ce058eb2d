#pragma once

#include "platform/WinTypes.h"

#include <cjson/cJSON.h>

#include <mutex>

// The last step of inbound routing, run by the gateway detail view when it handles
// WM_TUNNEL_MESSAGE (wParam: the parsed message, lParam: the routing code): find the
// running tunnel the message belongs to and hand it over.
//
// `ActiveList` is any sequence of tunnel pointers walked from its head; a tunnel
// offers Match(gateway serial, device serial) (a tunnel that serves a device answers
// false for a null device serial) and OnMessage(message, code), `code` handed over
// as given (the caller turns the routing code into what its tunnels take). The list's lock is
// held while the tunnel handles the message; it must be re-entrant because the
// tunnel may report list changes to the view from inside OnMessage.
template <typename ActiveList, typename Code>
platform::LResult RouteTunnelMessage(cJSON* message, Code code, std::recursive_mutex& listLock,
                                     const ActiveList& active)
{
    if (message == nullptr) {
        return 0;
    }
    const cJSON* gwItem = cJSON_GetObjectItem(message, "gw_sn");
    if (gwItem == nullptr || !cJSON_IsString(gwItem) || gwItem->valuestring == nullptr) {
        return 0;
    }
    const cJSON* devItem = cJSON_GetObjectItem(message, "dev_sn");
    const char* devSn = devItem != nullptr && cJSON_IsString(devItem) ? devItem->valuestring : nullptr;

    std::lock_guard<std::recursive_mutex> guard(listLock);
    for (auto* tunnel : active) {
        if (tunnel != nullptr && tunnel->Match(gwItem->valuestring, devSn)) {
            tunnel->OnMessage(message, code);
            break;
        }
    }
    return 0;
}
