#pragma once

#include "platform/WinTypes.h"

// Every window message the program sends. Each number is written as kWmUser + n so
// that the number stays visible where it is defined. All of them are delivered with
// SendWindowMessage: the handler runs on the UI thread before the sender continues.

constexpr MsgCode kWmUser = 0x400;

// Main window: view switches.
constexpr MsgCode WM_GATEWAY_SELECTED = kWmUser + 1000;  // wParam: gateway record (null ignored)
constexpr MsgCode WM_LOGIN_SUCCEEDED = kWmUser + 1001;   // from the login view
constexpr MsgCode WM_TREE_TAB_SWITCHED = kWmUser + 1002; // wParam: 1 search form shown, 0 tree shown
constexpr MsgCode WM_SHOW_HOME = kWmUser + 1003;         // home button of the gateway tree
constexpr MsgCode WM_DEVICE_LIST = kWmUser + 1007;       // wParam: device list of the displayed gateway
constexpr MsgCode WM_RESET_ROW_BUTTON = kWmUser + 1032;  // wParam: device-table row index or -1

// Gateway detail view: maintenance channel (VPN).
constexpr MsgCode WM_VPN_CHANNEL_REPLY = kWmUser + 1004; // wParam: VpnInfoRecord with "isSwitchOn" 1
constexpr MsgCode WM_VPN_CHANNEL_ENDED = kWmUser + 1005; // wParam: VpnInfoRecord otherwise
constexpr MsgCode WM_GATEWAY_STATUS = kWmUser + 1009;    // wParam: gateway status record
constexpr MsgCode WM_VPN_LINK_UP = kWmUser + 1020;       // the VPN client reports CONNECTED
constexpr MsgCode WM_VPN_LINK_DOWN = kWmUser + 1021;     // the VPN client reports any other state

// Gateway detail view: device tunnels.
constexpr MsgCode WM_SERIAL_TUNNEL_READY = kWmUser + 1024;  // wParam: gateway serial text, lParam: device id
constexpr MsgCode WM_TUNNEL_REPLY = kWmUser + 1028;         // wParam: tunnel or 0, lParam: parsed JSON reply
constexpr MsgCode WM_DEVICE_OPEN_REQUEST = kWmUser + 1029;  // wParam: device record
constexpr MsgCode WM_DEVICE_CLOSE_REQUEST = kWmUser + 1030; // wParam: device record
constexpr MsgCode WM_REQUEST_TIMEOUT = kWmUser + 1031;      // wParam: the waiting dialog's parameter
constexpr MsgCode WM_TUNNEL_OPENED = kWmUser + 1034;        // wParam: tunnel; add to the active list
constexpr MsgCode WM_TUNNEL_MESSAGE = kWmUser + 1037;       // wParam: parsed JSON, lParam: routing code
constexpr MsgCode WM_TUNNEL_CLOSED = kWmUser + 1040;        // wParam: tunnel; remove from the active list

// Raw messages on a "/sys/trans_com/" topic (wParam: raw record). Only the listening
// command-line client prints it; the windows ignore it.
constexpr MsgCode WM_TRANS_COM_RAW = kWmUser + 1025;

// Routing codes of tunnel traffic (lParam of WM_TUNNEL_MESSAGE, by inbound cmdId).
// On the UI thread they become a TunnelInbound (tunnel/TunnelInbound.h) before any
// tunnel sees them.
constexpr MsgCode WM_TUNNEL_REPLY_REQUEST = kWmUser + 1035;  // cmdId 2997, answered with 2994
constexpr MsgCode WM_TUNNEL_TARGET_REQUEST = kWmUser + 1036; // cmdId 2995, link target or parameters
constexpr MsgCode WM_TUNNEL_FAR_END_CLOSED = kWmUser + 1039; // cmdId 3003
constexpr MsgCode WM_TUNNEL_RESULT = kWmUser + 1041;         // cmdId 2993
constexpr MsgCode WM_SERIAL_DATA_IN = kWmUser + 1047;        // cmdId 2980, serial data from the device

// Main window: local listener of the port-forward tunnel. The four numbers from
// +1042 to +1045 are also the routing codes of the port-forward traffic.
constexpr MsgCode WM_LISTENER_ACCEPT = kWmUser + 1010;      // wParam: owner tunnel
constexpr MsgCode WM_LISTENER_SETUP = kWmUser + 1016;       // wParam: tunnel, lParam: window to answer
constexpr MsgCode WM_PORT_FORWARD_NOTICE = kWmUser + 1042;  // cmdId 2991
constexpr MsgCode WM_PORT_FORWARD_DATA = kWmUser + 1043;    // cmdId 2988
constexpr MsgCode WM_PORT_FORWARD_ACK = kWmUser + 1044;     // cmdId 2987 (to the main window)
constexpr MsgCode WM_PORT_FORWARD_MATCHED = kWmUser + 1045; // cmdId 2986
constexpr MsgCode WM_LISTENER_CLOSE = kWmUser + 1046;       // the port-forward tunnel stopped
