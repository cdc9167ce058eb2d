#pragma once

#include <map>
#include <mutex>
#include <string>

class ServiceContext;

// The VPN service behind each PC's server topic "/<pc>/lumetraToServer".
//   97 channel request -> 100 with "busiCode" 0 and the VPN server's address, port and
//      user name, then a gateway state report 98; "busiCode" 1 when another PC has
//      that gateway's channel
//   99 "switchOn" 1 (the PC's answer to each 98): noted
//   99 "switchOn" 0: the channel is freed and 100 with "isSwitchOn" 0 ends it
// Only gateways that are online in the inventory answer.
class VpnService
{
public:
    struct Server
    {
        std::string host;
        int port = 1194;
    };
    // The password the service hands out (the client's credentials file carries it too).
    static constexpr const char* kPassword = "730158";

    VpnService(ServiceContext& context, Server server) : context_(context), server_(std::move(server)) {}

    // `topicPcId` is the PC named by the topic.
    void Handle(const std::string& topicPcId, const std::string& payload);
    // Frees the channels of a PC that went away.
    void ReleasePc(const std::string& pcId);
    // Sends a state report 98 for every open channel.
    void SendStateReports();

private:
    void SendStateReport(const std::string& pcId, const std::string& gwSn);

    ServiceContext& context_;
    Server server_;
    std::mutex mutex_;
    std::map<std::string, std::string> channels_; // gateway -> PC
};
