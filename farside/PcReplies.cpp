#include "PcReplies.h"

#include "BrokerClient.h"
#include "FarsideLog.h"

#include <cjson/cJSON.h>

cJSON* PcReplies::Make(int cmdId, const std::string& gwSn, const std::string& devSn)
{
    cJSON* message = cJSON_CreateObject();
    cJSON_AddNumberToObject(message, "cmdId", cmdId);
    if (!gwSn.empty())
        cJSON_AddStringToObject(message, "gw_sn", gwSn.c_str());
    if (!devSn.empty())
        cJSON_AddStringToObject(message, "dev_sn", devSn.c_str());
    return message;
}

void PcReplies::Send(const std::string& pcId, cJSON* message)
{
    char* printed = cJSON_PrintUnformatted(message);
    cJSON_Delete(message);
    if (!printed)
        return;
    const std::string payload = printed;
    cJSON_free(printed);
    const std::string topic = "/" + pcId + "/lumetraToPC";
    if (broker_.Publish(topic, payload, kQos))
        FarsideLog::Line("sent " + topic + " " + payload);
    else
        FarsideLog::Line("not sent (broker unavailable) " + topic + " " + payload);
}
