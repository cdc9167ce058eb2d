#pragma once

#include "platform/WinTypes.h"

// Every window message the program sends. Each number is written as WM_USER + n so
// that the number stays visible where it is defined. All of them are delivered with
// SendMessage: the handler runs on the UI thread before the sender continues.

constexpr UINT WM_USER = 0x400;

// Main window: view switches.
constexpr UINT WM_GATEWAY_SELECTED = WM_USER + 1000;  // wParam: gateway record (null ignored)
constexpr UINT WM_LOGIN_SUCCEEDED = WM_USER + 1001;   // from the login view
constexpr UINT WM_TREE_TAB_SWITCHED = WM_USER + 1002; // wParam: 1 search form shown, 0 tree shown
constexpr UINT WM_SHOW_HOME = WM_USER + 1003;         // home button of the gateway tree
constexpr UINT WM_DEVICE_LIST = WM_USER + 1007;       // wParam: device list of the displayed gateway
constexpr UINT WM_RESET_ROW_BUTTON = WM_USER + 1032;  // wParam: device-table row index or -1

// Gateway detail view: maintenance channel (VPN).
constexpr UINT WM_VPN_CHANNEL_REPLY = WM_USER + 1004; // wParam: VpnInfoRecord with "isSwitchOn" 1
constexpr UINT WM_VPN_CHANNEL_ENDED = WM_USER + 1005; // wParam: VpnInfoRecord otherwise
constexpr UINT WM_DETAIL_UNUSED = WM_USER + 1006;     // handled by the view, sent by nobody
constexpr UINT WM_GATEWAY_STATUS = WM_USER + 1009;    // wParam: gateway status record
constexpr UINT WM_VPN_LINK_UP = WM_USER + 1020;       // the VPN client reports CONNECTED
constexpr UINT WM_VPN_LINK_DOWN = WM_USER + 1021;     // the VPN client reports any other state

// Gateway detail view: device tunnels.
constexpr UINT WM_DEVICE_TUNNEL_START = WM_USER + 1022;  // wParam: device record (sent by nobody)
constexpr UINT WM_DEVICE_TUNNEL_STOP = WM_USER + 1023;   // wParam: device record (sent by nobody)
constexpr UINT WM_SERIAL_TUNNEL_READY = WM_USER + 1024;  // wParam: gateway serial text, lParam: device id
constexpr UINT WM_TUNNEL_REPLY = WM_USER + 1028;         // wParam: tunnel or 0, lParam: parsed JSON reply
constexpr UINT WM_DEVICE_OPEN_REQUEST = WM_USER + 1029;  // wParam: device record
constexpr UINT WM_DEVICE_CLOSE_REQUEST = WM_USER + 1030; // wParam: device record
constexpr UINT WM_REQUEST_TIMEOUT = WM_USER + 1031;      // wParam: device record or null
constexpr UINT WM_TUNNEL_OPENED = WM_USER + 1034;        // wParam: tunnel; add to the active list
constexpr UINT WM_TUNNEL_MESSAGE = WM_USER + 1037;       // wParam: parsed JSON, lParam: routing code
constexpr UINT WM_TUNNEL_CLOSED = WM_USER + 1040;        // wParam: tunnel; remove from the active list

// The code a tunnel receives when the view accepted its open (0x804). It is the
// same number as WM_TUNNEL_REPLY; the serial tunnel opens its COM port on it.
constexpr UINT TUNNEL_OPEN_ACCEPTED = WM_TUNNEL_REPLY;

// Raw messages on a "/sys/trans_com/" topic (wParam: raw record). No window handles it.
constexpr UINT WM_TRANS_COM_RAW = WM_USER + 1025;

// Routing codes of tunnel traffic (lParam of WM_TUNNEL_MESSAGE, by inbound cmdId).
constexpr UINT WM_TUNNEL_REPLY_REQUEST = WM_USER + 1035;  // cmdId 2997, answered with 2994
constexpr UINT WM_TUNNEL_TARGET_REQUEST = WM_USER + 1036; // cmdId 2995, link target or parameters
constexpr UINT WM_TUNNEL_FAR_END_CLOSED = WM_USER + 1039; // cmdId 3003
constexpr UINT WM_TUNNEL_RESULT = WM_USER + 1041;         // cmdId 2993
constexpr UINT WM_SERIAL_DATA_IN = WM_USER + 1047;        // cmdId 2980, serial data from the device

// Main window: local listener of the port-forward tunnel. The four numbers from
// +1042 to +1045 are also the routing codes of the port-forward traffic.
constexpr UINT WM_LISTENER_ACCEPT = WM_USER + 1010;      // wParam: owner tunnel
constexpr UINT WM_LISTENER_SETUP = WM_USER + 1016;       // wParam: tunnel, lParam: window to answer
constexpr UINT WM_PORT_FORWARD_NOTICE = WM_USER + 1042;  // cmdId 2991
constexpr UINT WM_PORT_FORWARD_DATA = WM_USER + 1043;    // cmdId 2988
constexpr UINT WM_PORT_FORWARD_ACK = WM_USER + 1044;     // cmdId 2987 (to the main window)
constexpr UINT WM_PORT_FORWARD_MATCHED = WM_USER + 1045; // cmdId 2986
constexpr UINT WM_LISTENER_CLOSE = WM_USER + 1046;       // the port-forward tunnel stopped
