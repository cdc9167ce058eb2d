#include "PcReplies.h"

#include "BrokerClient.h"
#include "FarsideLog.h"
#include "FaultBoard.h"

PcReplies::PcReplies(BrokerClient& broker, const FaultBoard& faults)
    : broker_(broker), faults_(faults),
      delayLine_([this](const std::string& topic, const std::string& payload) { Publish(topic, payload); })
{
}

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
    const cJSON* cmdId = cJSON_GetObjectItemCaseSensitive(message.get(), "cmdId");
    const bool data = cJSON_IsNumber(cmdId) && (cmdId->valueint == 2980 || cmdId->valueint == 2988);
    const char* gwSn = cJSON_GetStringValue(cJSON_GetObjectItemCaseSensitive(message.get(), "gw_sn"));
    const char* devSn = cJSON_GetStringValue(cJSON_GetObjectItemCaseSensitive(message.get(), "dev_sn"));
    const FaultBoard::Switches switches =
        data || !gwSn || !devSn ? FaultBoard::Switches() : faults_.Of(gwSn, devSn);
    const JsonText printed(cJSON_PrintUnformatted(message.get()));
    message.reset();
    if (!printed)
        return;
    const std::string payload = printed.get();
    const std::string topic = "/" + pcId + "/lumetraToPC";
    if (switches.silent)
        FarsideLog::Line("not sent (fault silent) " + topic + " " + payload);
    else if (switches.answerDelayMs > 0)
        delayLine_.Post(switches.answerDelayMs, topic, payload);
    else
        Publish(topic, payload);
}

void PcReplies::Publish(const std::string& topic, const std::string& payload)
{
    if (broker_.Publish(topic, payload, kQos))
        FarsideLog::Line("sent " + topic + " " + payload);
    else
        FarsideLog::Line("not sent (broker unavailable) " + topic + " " + payload);
}
