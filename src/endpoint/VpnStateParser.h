#pragma once

#include "platform/WinTypes.h"

#include <cstddef>
#include <vector>

namespace platform {
class MessageWindow;
} // namespace platform

// Turns what the OpenVPN client writes on its management connection into link-up
// and link-down messages for the gateway detail view.
//
// Each chunk read from the connection stands alone: it ends at its first zero byte,
// is split into lines at "\n" (a line's trailing "\r" is dropped, as the client ends
// its lines with CR LF) and every line into fields at ","; empty lines and empty
// fields are dropped. A line with at least two fields reports the link up
// (WM_VPN_LINK_UP) when its second field is exactly "CONNECTED", else down
// (WM_VPN_LINK_DOWN). Lines with fewer fields (the greeting, command answers) say
// nothing. A line cut in two between chunks is read as two lines.
class VpnStateParser
{
public:
    // The messages for one chunk, in line order.
    static std::vector<platform::MsgCode> Parse(const char* data, size_t length);

    // Sends the messages for one chunk to `target` (wParam 0, lParam 0), in line
    // order. A null target or chunk sends nothing.
    static void Feed(const char* data, size_t length, platform::MessageWindow* target);
};
