#pragma once

#include "platform/MessageWindow.h"

#include <mutex>
#include <string>
#include <vector>

class CDataTunnel;

// The window a tunnel reports to, as the gateway detail view does it: it keeps the
// active tunnel list (WM_TUNNEL_OPENED / WM_TUNNEL_CLOSED), routes inbound tunnel
// traffic to the listed tunnels, and, when told to, accepts a successful result by
// handing the tunnel the acceptance notice. Every message is recorded, with the
// JSON it carried where it carried one.
class TunnelViewWindow : public MessageWindow
{
public:
    struct Entry
    {
        UINT msg = 0;
        WPARAM wParam = 0;
        LPARAM lParam = 0;
        std::string json; // printed JSON of a reply or a passed message, else empty
    };

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    // Accept results with "flag" 1 (the serial tunnel then opens its COM port).
    bool acceptResults = false;

    std::vector<Entry> Take();
    std::vector<Entry> Entries() const;
    std::vector<CDataTunnel*> Active() const;

private:
    mutable std::recursive_mutex listLock_;
    std::vector<CDataTunnel*> active_;
    std::vector<Entry> entries_;
};
