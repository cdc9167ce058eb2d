#pragma once

#include "platform/WinTypes.h"

// Every window message the program sends. Each number is written as kWmUser + n so
// that the number stays visible where it is defined. All of them are delivered with
// SendWindowMessage: the handler runs on the UI thread before the sender continues.

// Gateway detail view: maintenance channel (VPN).
constexpr platform::MsgCode WM_VPN_CHANNEL_REPLY =
    platform::kWmUser + 1004; // wParam: VpnInfoRecord with "isSwitchOn" 1
constexpr platform::MsgCode WM_VPN_CHANNEL_ENDED =
    platform::kWmUser + 1005;                                             // wParam: VpnInfoRecord otherwise
constexpr platform::MsgCode WM_GATEWAY_STATUS = platform::kWmUser + 1009; // wParam: gateway status record
constexpr platform::MsgCode WM_VPN_LINK_UP = platform::kWmUser + 1020;    // the VPN client reports CONNECTED
constexpr platform::MsgCode WM_VPN_LINK_DOWN =
    platform::kWmUser + 1021; // the VPN client reports any other state

// Gateway detail view: device tunnels.
constexpr platform::MsgCode WM_SERIAL_TUNNEL_READY =
    platform::kWmUser + 1024; // wParam: gateway serial text, lParam: device id
constexpr platform::MsgCode WM_TUNNEL_REPLY =
    platform::kWmUser + 1028; // wParam: 0, lParam: parsed JSON reply (cmdId 3010)
constexpr platform::MsgCode WM_REQUEST_TIMEOUT =
    platform::kWmUser + 1031; // wParam: the waiting dialog's parameter
constexpr platform::MsgCode WM_TUNNEL_MESSAGE =
    platform::kWmUser + 1037; // wParam: parsed JSON, lParam: routing code

// Raw messages on a "/sys/trans_com/" topic (wParam: raw record). Only the listening
// command-line client prints it; the windows ignore it.
constexpr platform::MsgCode WM_TRANS_COM_RAW = platform::kWmUser + 1025;

// Routing codes of tunnel traffic (lParam of WM_TUNNEL_MESSAGE, by inbound cmdId).
// On the UI thread they become a TunnelInbound (tunnel/TunnelInbound.h) before any
// tunnel sees them. They are numbers of this range but no message is sent with them.
constexpr platform::MsgCode WM_TUNNEL_REPLY_REQUEST =
    platform::kWmUser + 1035; // cmdId 2997, answered with 2994
constexpr platform::MsgCode WM_TUNNEL_TARGET_REQUEST =
    platform::kWmUser + 1036; // cmdId 2995, link target or parameters
constexpr platform::MsgCode WM_TUNNEL_FAR_END_CLOSED = platform::kWmUser + 1039; // cmdId 3003
constexpr platform::MsgCode WM_TUNNEL_RESULT = platform::kWmUser + 1041;         // cmdId 2993
constexpr platform::MsgCode WM_SERIAL_DATA_IN =
    platform::kWmUser + 1047; // cmdId 2980, serial data from the device
constexpr platform::MsgCode WM_PORT_FORWARD_NOTICE = platform::kWmUser + 1042;  // cmdId 2991
constexpr platform::MsgCode WM_PORT_FORWARD_DATA = platform::kWmUser + 1043;    // cmdId 2988
constexpr platform::MsgCode WM_PORT_FORWARD_MATCHED = platform::kWmUser + 1045; // cmdId 2986
