#pragma once

#include "ReplyDelayLine.h"

#include "app/JsonPtr.h"

#include <string>

class BrokerClient;
class FaultBoard;

// Sends the far side's answers to one PC: flat JSON with "cmdId" first, on the PC's
// topic "/<pc>/lumetraToPC", QoS 1. Each message sent is logged as
// "sent <topic> <payload>". The fault switches of the device a message names (its
// "gw_sn" and "dev_sn") apply to every message but the data 2980 and 2988: "silent"
// drops it ("not sent (fault silent) ..."), "answerDelayMs" sends it that much later.
class PcReplies
{
public:
    static constexpr int kQos = 1;

    PcReplies(BrokerClient& broker, const FaultBoard& faults);

    // A new message {"cmdId": cmdId, "gw_sn": gwSn, "dev_sn": devSn} (a member whose
    // text is empty is left out), for the caller to complete and hand to Send.
    static JsonPtr Make(int cmdId, const std::string& gwSn = std::string(),
                        const std::string& devSn = std::string());
    // Prints and publishes `message`.
    void Send(const std::string& pcId, JsonPtr message);

private:
    void Publish(const std::string& topic, const std::string& payload);

    BrokerClient& broker_;
    const FaultBoard& faults_;
    ReplyDelayLine delayLine_;
};
