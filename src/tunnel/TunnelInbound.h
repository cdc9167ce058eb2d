#pragma once

#include "platform/WinTypes.h"

// What an inbound message of the tunnel protocol asks of the tunnel it belongs to,
// one value per routed command code. The MQTT thread hands the message to the UI
// thread with its routing code (mqtt_route_code, the lParam of WM_TUNNEL_MESSAGE);
// TunnelInboundFromRouteCode turns that code into this kind once, at that edge, and
// the tunnels switch on the kind only.
enum class TunnelInbound
{
    kSerialData,         // cmdId 2980: serial data from the device
    kBindAnswer,         // cmdId 2984: binder answer (or the relay's occupancy)
    kPortForwardMatched, // cmdId 2986
    kAck,                // cmdId 2987
    kPortForwardData,    // cmdId 2988
    kPortForwardNotice,  // cmdId 2991
    kResult,             // cmdId 2993: the open's result
    kParameterRequest,   // cmdId 2995: link target or parameters wanted
    kReplyRequest,       // cmdId 2997: answered with 2994
    kRegistrationResult, // cmdId 3001
    kFarEndClosed,       // cmdId 3003
};

// The kind of the routing code `code`; false (and `kind` untouched) for a code that
// names no tunnel traffic.
bool TunnelInboundFromRouteCode(platform::LParam code, TunnelInbound* kind);
