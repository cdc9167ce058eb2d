#include "tunnel/TunnelInbound.h"

#include "mqtt-c/mqtt_commands.h"
#include "platform/WindowMessages.h"

bool TunnelInboundFromRouteCode(platform::LParam code, TunnelInbound* kind)
{
    TunnelInbound found;
    switch (code) {
    case static_cast<platform::LParam>(WM_SERIAL_DATA_IN):
        found = TunnelInbound::kSerialData;
        break;
    case kCmdBindAnswer:
        found = TunnelInbound::kBindAnswer;
        break;
    case static_cast<platform::LParam>(WM_PORT_FORWARD_MATCHED):
        found = TunnelInbound::kPortForwardMatched;
        break;
    case kCmdAck:
        found = TunnelInbound::kAck;
        break;
    case static_cast<platform::LParam>(WM_PORT_FORWARD_DATA):
        found = TunnelInbound::kPortForwardData;
        break;
    case static_cast<platform::LParam>(WM_PORT_FORWARD_NOTICE):
        found = TunnelInbound::kPortForwardNotice;
        break;
    case static_cast<platform::LParam>(WM_TUNNEL_RESULT):
        found = TunnelInbound::kResult;
        break;
    case static_cast<platform::LParam>(WM_TUNNEL_TARGET_REQUEST):
        found = TunnelInbound::kParameterRequest;
        break;
    case static_cast<platform::LParam>(WM_TUNNEL_REPLY_REQUEST):
        found = TunnelInbound::kReplyRequest;
        break;
    case kCmdRegistrationResult:
        found = TunnelInbound::kRegistrationResult;
        break;
    case static_cast<platform::LParam>(WM_TUNNEL_FAR_END_CLOSED):
        found = TunnelInbound::kFarEndClosed;
        break;
    default:
        return false;
    }
    if (kind != nullptr) {
        *kind = found;
    }
    return true;
}
