#include "PcReplies.h"

#include "BrokerClient.h"
#include "FarsideLog.h"

JsonPtr PcReplies::Make(int cmdId, const std::string& gwSn, const std::string& devSn)
{
    JsonPtr message(cJSON_CreateObject());
    cJSON_AddNumberToObject(message.get(), "cmdId", cmdId);
    if (!gwSn.empty())
        cJSON_AddStringToObject(message.get(), "gw_sn", gwSn.c_str());
    if (!devSn.empty())
        cJSON_AddStringToObject(message.get(), "dev_sn", devSn.c_str());
    return message;
}

void PcReplies::Send(const std::string& pcId, JsonPtr message)
{
    const JsonText printed(cJSON_PrintUnformatted(message.get()));
    message.reset();
    if (!printed)
        return;
    const std::string payload = printed.get();
    const std::string topic = "/" + pcId + "/lumetraToPC";
    if (broker_.Publish(topic, payload, kQos))
        FarsideLog::Line("sent " + topic + " " + payload);
    else
        FarsideLog::Line("not sent (broker unavailable) " + topic + " " + payload);
}
