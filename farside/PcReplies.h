#pragma once

#include "app/JsonPtr.h"

#include <string>

class BrokerClient;

// Sends the far side's answers to one PC: flat JSON with "cmdId" first, on the PC's
// topic "/<pc>/lumetraToPC", QoS 1. Each message sent is logged as
// "sent <topic> <payload>".
class PcReplies
{
public:
    static constexpr int kQos = 1;

    explicit PcReplies(BrokerClient& broker) : broker_(broker) {}

    // A new message {"cmdId": cmdId, "gw_sn": gwSn, "dev_sn": devSn} (a member whose
    // text is empty is left out), for the caller to complete and hand to Send.
    static JsonPtr Make(int cmdId, const std::string& gwSn = std::string(),
                        const std::string& devSn = std::string());
    // Prints and publishes `message`.
    void Send(const std::string& pcId, JsonPtr message);

private:
    BrokerClient& broker_;
};
