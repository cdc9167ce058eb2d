#include "mqtt-c/VpnInfoRecord.h"

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
