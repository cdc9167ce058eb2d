#include "mqtt-c/mqtt_dispatch.h"

#include "app/JsonPtr.h"
#include "cloud/CNodeGateway.h"
#include "mqtt-c/VpnInfoRecord.h"
#include "mqtt-c/mqtt_commands.h"
#include "mqtt-c/mqtt_topics.h"
#include "platform/MessageWindow.h"
#include "platform/WindowMessages.h"

#include <cjson/cJSON.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

platform::LParam mqtt_route_code(int cmdId)
{
    switch (cmdId) {
    case kCmdSerialData:
        return WM_SERIAL_DATA_IN;
    case kCmdBindAnswer:
        return kCmdBindAnswer;
    case kCmdPortForwardMatched:
        return WM_PORT_FORWARD_MATCHED;
    case kCmdAck:
        return kCmdAck;
    case kCmdPortForwardData:
        return WM_PORT_FORWARD_DATA;
    case kCmdPortForwardNotice:
        return WM_PORT_FORWARD_NOTICE;
    case kCmdResult:
        return WM_TUNNEL_RESULT;
    case kCmdParameterRequest:
        return WM_TUNNEL_TARGET_REQUEST;
    case kCmdReplyRequest:
        return WM_TUNNEL_REPLY_REQUEST;
    case kCmdRegistrationResult:
        return kCmdRegistrationResult;
    case kCmdFarEndClosed:
        return WM_TUNNEL_FAR_END_CLOSED;
    default:
        return 0;
    }
}

bool mqtt_json_read_text(const cJSON* object, const char* name, std::string* text)
{
    const cJSON* item = cJSON_GetObjectItem(object, name);
    if (item == nullptr) {
        return false;
    }
    if (cJSON_IsString(item) && item->valuestring != nullptr) {
        *text = item->valuestring;
        return true;
    }
    if (cJSON_IsNumber(item)) {
        char buffer[64];
        const double value = item->valuedouble;
        if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 1e15) {
            std::snprintf(buffer, sizeof(buffer), "%.0f", value);
        } else {
            std::snprintf(buffer, sizeof(buffer), "%g", value);
        }
        *text = buffer;
        return true;
    }
    return false;
}

bool mqtt_json_read_int(const cJSON* object, const char* name, int* value)
{
    const cJSON* item = cJSON_GetObjectItem(object, name);
    if (item == nullptr || !cJSON_IsNumber(item)) {
        return false;
    }
    *value = item->valueint;
    return true;
}

void mqtt_read_gateway_status(const cJSON* message, CNodeGateway* gateway)
{
    mqtt_json_read_int(message, "flag", &gateway->stateFlag);
    mqtt_json_read_text(message, "gwSn", &gateway->gwSn);
    mqtt_json_read_text(message, "lanIp", &gateway->lanIp);
    mqtt_json_read_text(message, "csq", &gateway->csq);
    mqtt_json_read_text(message, "lanMask", &gateway->lanMask);
}

void mqtt_dispatch(platform::MessageWindow* target, const char* topic, const char* payload, int length)
{
    const size_t prefixLength = std::strlen(kRawTopicPrefix);
    if (topic != nullptr && std::strncmp(topic, kRawTopicPrefix, prefixLength) == 0) {
        mqtt_raw_record record{topic, payload, length};
        platform::SendWindowMessage(target, WM_TRANS_COM_RAW, reinterpret_cast<platform::WParam>(&record), 0);
        return;
    }
    mqtt_dispatch_command(target, payload, length);
}

void mqtt_dispatch_command(platform::MessageWindow* target, const char* payload, int length)
{
    if (payload == nullptr || length <= 0) {
        return;
    }
    // The payload is not terminated: parse a zero-filled copy one byte longer.
    std::vector<char> copy(static_cast<size_t>(length) + 1, '\0');
    std::memcpy(copy.data(), payload, static_cast<size_t>(length));
    const JsonPtr tree(cJSON_Parse(copy.data()));
    cJSON* message = tree.get();
    if (message == nullptr) {
        return;
    }
    const cJSON* cmdItem = cJSON_GetObjectItem(message, "cmdId");
    if (cmdItem == nullptr) {
        return;
    }
    const int cmdId = cmdItem->valueint;

    switch (cmdId) {
    case kCmdGatewayStatus: {
        CNodeGateway status{};
        mqtt_read_gateway_status(message, &status);
        platform::SendWindowMessage(target, WM_GATEWAY_STATUS, reinterpret_cast<platform::WParam>(&status),
                                    0);
        break;
    }
    case kCmdVpnInfo: {
        VpnInfoRecord record{};
        record.ReadFrom(message);
        const cJSON* switchOn = cJSON_GetObjectItem(message, "isSwitchOn");
        const bool on = switchOn != nullptr && cJSON_IsNumber(switchOn) && switchOn->valueint == 1;
        platform::SendWindowMessage(target, on ? WM_VPN_CHANNEL_REPLY : WM_VPN_CHANNEL_ENDED,
                                    reinterpret_cast<platform::WParam>(&record), 0);
        break;
    }
    case kCmdSerialTunnelReady: {
        const cJSON* gwSn = cJSON_GetObjectItem(message, "gwSn");
        const cJSON* devId = cJSON_GetObjectItem(message, "devId");
        if (gwSn != nullptr && devId != nullptr && cJSON_IsString(gwSn) && gwSn->valuestring != nullptr) {
            platform::SendWindowMessage(target, WM_SERIAL_TUNNEL_READY,
                                        reinterpret_cast<platform::WParam>(gwSn->valuestring),
                                        devId->valueint);
        }
        break;
    }
    case kCmdResultWithoutTunnel:
        platform::SendWindowMessage(target, WM_TUNNEL_REPLY, 0, reinterpret_cast<platform::LParam>(message));
        break;
    default: {
        const platform::LParam code = mqtt_route_code(cmdId);
        if (code != 0) {
            platform::SendWindowMessage(target, WM_TUNNEL_MESSAGE,
                                        reinterpret_cast<platform::WParam>(message), code);
        }
        break;
    }
    }
}
