#include "mqtt-c/DispatchLinePrinter.h"

#include "app/JsonPtr.h"
#include "cloud/CNodeGateway.h"
#include "mqtt-c/VpnInfoRecord.h"
#include "mqtt-c/mqtt_dispatch.h"
#include "mqtt-c/mqtt_envelope.h"
#include "platform/WindowMessages.h"

#include <cjson/cJSON.h>

namespace {

std::string GatewayStatusJson(const CNodeGateway* status)
{
    const JsonPtr tree(cJSON_CreateObject());
    cJSON* object = tree.get();
    cJSON_AddNumberToObject(object, "flag", status->stateFlag);
    cJSON_AddStringToObject(object, "gwSn", status->gwSn.c_str());
    cJSON_AddStringToObject(object, "lanIp", status->lanIp.c_str());
    cJSON_AddStringToObject(object, "csq", status->csq.c_str());
    cJSON_AddStringToObject(object, "lanMask", status->lanMask.c_str());
    return mqtt_json_print(object);
}

std::string VpnInfoJson(const VpnInfoRecord* record)
{
    const JsonPtr tree(cJSON_CreateObject());
    cJSON* object = tree.get();
    cJSON_AddStringToObject(object, "gwSn", record->gwSn.c_str());
    cJSON_AddStringToObject(object, "vpnserverIp", record->vpnServerIp.c_str());
    cJSON_AddNumberToObject(object, "busiCode", record->busiCode);
    cJSON_AddStringToObject(object, "pcId", record->pcId.c_str());
    cJSON_AddNumberToObject(object, "vpnport", record->vpnPort);
    cJSON_AddStringToObject(object, "userName", record->userName.c_str());
    cJSON_AddStringToObject(object, "passwd", record->password.c_str());
    cJSON_AddNumberToObject(object, "isSwitchOn", record->isSwitchOn);
    cJSON_AddNumberToObject(object, "flag", record->flag);
    cJSON_AddStringToObject(object, "msg", record->msg.c_str());
    return mqtt_json_print(object);
}

std::string RawJson(const mqtt_raw_record* record)
{
    const JsonPtr tree(cJSON_CreateObject());
    cJSON* object = tree.get();
    cJSON_AddStringToObject(object, "topic", record->topic != nullptr ? record->topic : "");
    const std::string payload = record->payload != nullptr && record->length > 0
                                    ? std::string(record->payload, static_cast<size_t>(record->length))
                                    : std::string();
    cJSON_AddStringToObject(object, "payload", payload.c_str());
    return mqtt_json_print(object);
}

std::string SerialReadyJson(const char* gwSn, platform::LParam devId)
{
    const JsonPtr tree(cJSON_CreateObject());
    cJSON* object = tree.get();
    cJSON_AddStringToObject(object, "gwSn", gwSn != nullptr ? gwSn : "");
    cJSON_AddNumberToObject(object, "devId", static_cast<double>(devId));
    return mqtt_json_print(object);
}

} // namespace

DispatchLinePrinter::DispatchLinePrinter(FILE* out) : out_(out) {}

std::string DispatchLinePrinter::FormatLine(platform::MsgCode msg, platform::WParam wParam,
                                            platform::LParam lParam)
{
    std::string json;
    platform::LParam code = 0;
    switch (msg) {
    case WM_TRANS_COM_RAW:
        json = RawJson(reinterpret_cast<const mqtt_raw_record*>(wParam));
        break;
    case WM_GATEWAY_STATUS:
        json = GatewayStatusJson(reinterpret_cast<const CNodeGateway*>(wParam));
        break;
    case WM_VPN_CHANNEL_REPLY:
    case WM_VPN_CHANNEL_ENDED:
        json = VpnInfoJson(reinterpret_cast<const VpnInfoRecord*>(wParam));
        break;
    case WM_SERIAL_TUNNEL_READY:
        json = SerialReadyJson(reinterpret_cast<const char*>(wParam), lParam);
        break;
    case WM_TUNNEL_REPLY:
        json = mqtt_json_print(reinterpret_cast<const cJSON*>(lParam));
        break;
    case WM_TUNNEL_MESSAGE:
        json = mqtt_json_print(reinterpret_cast<const cJSON*>(wParam));
        code = lParam;
        break;
    default:
        return std::string();
    }
    if (json.empty()) {
        return std::string();
    }
    return std::to_string(msg) + " " + std::to_string(code) + " " + json;
}

platform::LResult DispatchLinePrinter::WindowProc(platform::MsgCode msg, platform::WParam wParam,
                                                  platform::LParam lParam)
{
    const std::string line = FormatLine(msg, wParam, lParam);
    if (!line.empty() && out_ != nullptr) {
        std::fprintf(out_, "%s\n", line.c_str());
        std::fflush(out_);
    }
    return 0;
}
