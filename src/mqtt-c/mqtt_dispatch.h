#pragma once

#include "platform/WinTypes.h"

#include <string>

struct cJSON;
class CNodeGateway;
namespace platform {
class MessageWindow;
} // namespace platform

// Inbound messages: every message on the PC's topic is copied on the client thread
// and queued for the UI thread (the client thread never waits for the window), where
// it is parsed and handed with SendWindowMessage to the connection's target window of
// its arrival (MessagePublisher::SetTargetWindow), one at a time and in arrival order.
// Whatever is passed by pointer (parsed JSON, records, texts) lives only until the
// handler returns.
//
//   WM_TRANS_COM_RAW      wParam: mqtt_raw_record          topic starting "/sys/trans_com/"
//   WM_GATEWAY_STATUS     wParam: CNodeGateway status      cmdId 98
//   WM_VPN_CHANNEL_REPLY  wParam: VpnInfoRecord            cmdId 100 with "isSwitchOn" 1
//   WM_VPN_CHANNEL_ENDED  wParam: VpnInfoRecord            cmdId 100 otherwise
//   WM_SERIAL_TUNNEL_READY wParam: "gwSn" text, lParam: "devId"   cmdId 1011
//   WM_TUNNEL_REPLY       wParam: 0, lParam: parsed message      cmdId 3010
//   WM_TUNNEL_MESSAGE     wParam: parsed message, lParam: routing code (mqtt_route_code)

// The raw form of a message on a "/sys/trans_com/" topic.
struct mqtt_raw_record
{
    const char* topic;
    const char* payload;
    int length;
};

// Routing code of tunnel traffic by cmdId, 0 for a cmdId that is not tunnel traffic:
// 2980 kWmUser+1047, 2984 2984, 2986 kWmUser+1045, 2987 2987, 2988 kWmUser+1043,
// 2991 kWmUser+1042, 2993 kWmUser+1041, 2995 kWmUser+1036, 2997 kWmUser+1035,
// 3001 3001, 3003 kWmUser+1039.
platform::LParam mqtt_route_code(int cmdId);

// Hands one message to `target` (null: nowhere). Raw topics go out unparsed;
// everything else goes to mqtt_dispatch_command.
void mqtt_dispatch(platform::MessageWindow* target, const char* topic, const char* payload, int length);
// Parses the JSON and sends it on by "cmdId" (looked up without regard to case).
// Empty payloads, unparsable JSON, a missing "cmdId" and unknown codes are dropped.
void mqtt_dispatch_command(platform::MessageWindow* target, const char* payload, int length);

// Fills a gateway status record from a cmdId 98 message: "flag", "gwSn", "lanIp",
// "csq", "lanMask" (absent members keep the record's defaults).
void mqtt_read_gateway_status(const cJSON* message, CNodeGateway* gateway);

// Member readers (names matched without regard to case). A text member given as a
// number is taken as its decimal text; a member of any other kind, or absent, leaves
// the target unchanged. Each returns true when it changed the target.
bool mqtt_json_read_text(const cJSON* object, const char* name, std::string* text);
// The member's integer value (a number; other kinds give false).
bool mqtt_json_read_int(const cJSON* object, const char* name, int* value);
