#include "mqtt-c/VpnInfoRecord.h"

#include "app/InputRules.h"
#include "mqtt-c/mqtt_dispatch.h"

void VpnInfoRecord::ReadFrom(const cJSON* message)
{
    mqtt_json_read_text(message, "gwSn", &gwSn);
    mqtt_json_read_text(message, "vpnserverIp", &vpnServerIp);
    mqtt_json_read_int(message, "busiCode", &busiCode);
    mqtt_json_read_text(message, "pcId", &pcId);
    mqtt_json_read_int(message, "vpnport", &vpnPort);
    mqtt_json_read_text(message, "userName", &userName);
    mqtt_json_read_text(message, "passwd", &password);
    mqtt_json_read_int(message, "isSwitchOn", &isSwitchOn);
    mqtt_json_read_int(message, "flag", &flag);
    mqtt_json_read_text(message, "msg", &msg);
}

bool VpnInfoRecord::CheckGrant(std::string* why) const
{
    std::string reason;
    if (!InputRules::IsHost(vpnServerIp)) {
        reason =
            "\"vpnserverIp\" \"" + InputRules::Excerpt(vpnServerIp) + "\" is not an address or host name";
    } else if (!InputRules::IsPort(vpnPort)) {
        reason = "\"vpnport\" " + std::to_string(vpnPort) + " is not a port";
    } else if (!InputRules::IsUserName(userName)) {
        reason = "\"userName\" \"" + InputRules::Excerpt(userName) +
                 "\" is not one line of text of at most " + std::to_string(InputRules::kMaxUserNameLength) +
                 " bytes";
    }
    if (why != nullptr) {
        *why = reason;
    }
    return reason.empty();
}
