#include "VpnService.h"

#include "FarsideLog.h"
#include "InboundMessage.h"
#include "PcReplies.h"
#include "ServiceContext.h"

#include <cjson/cJSON.h>

#include <vector>

void VpnService::Handle(const std::string& topicPcId, const std::string& payload)
{
    const std::string who = "vpn service: ";
    InboundMessage message;
    int cmdId = 0;
    std::string gwSn, pcId, why;
    if (!message.Parse(payload) || !message.Integer("cmdId", &cmdId) || !message.Text("gwSn", &gwSn) ||
        !message.Text("pcId", &pcId))
        return FarsideLog::Line(who + "message refused: " + message.Error());
    const std::string what = who + std::to_string(cmdId) + " for " + gwSn + " ";
    if (pcId != topicPcId)
        return FarsideLog::Line(what + "refused: pcId " + pcId + " is not the topic's PC " + topicPcId);
    if (cmdId != 97 && cmdId != 99)
        return FarsideLog::Line(what + "refused: unknown cmdId");
    if (!message.MembersAre({"gwSn", "cmdId", "pcId"}) &&
        !message.MembersAre({"gwSn", "cmdId", "lanIp", "lanMask", "pcId", "switchOn"}) &&
        !message.MembersAre({"gwSn", "vpnPort", "switchOn", "pcId", "cmdId"}))
        return FarsideLog::Line(what + "refused: its members are none of the VPN requests' "
                                       "(gwSn, cmdId, pcId / gwSn, cmdId, lanIp, lanMask, pcId, switchOn / "
                                       "gwSn, vpnPort, switchOn, pcId, cmdId)");
    if (!context_.OnlineGateway(gwSn, &why))
        return FarsideLog::Line(what + "not answered: " + why);

    if (cmdId == 97) {
        std::string holder;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            std::string& channel = channels_[gwSn];
            if (channel.empty())
                channel = pcId;
            holder = channel;
        }
        JsonPtr reply = PcReplies::Make(100);
        cJSON_AddStringToObject(reply.get(), "gwSn", gwSn.c_str());
        if (holder != pcId) {
            FarsideLog::Line(what + "refused: the channel is in use by " + holder);
            cJSON_AddNumberToObject(reply.get(), "busiCode", 1);
            cJSON_AddStringToObject(reply.get(), "pcId", pcId.c_str());
            cJSON_AddNumberToObject(reply.get(), "isSwitchOn", 1);
            context_.replies.Send(pcId, std::move(reply));
            return;
        }
        cJSON_AddStringToObject(reply.get(), "vpnserverIp", server_.host.c_str());
        cJSON_AddNumberToObject(reply.get(), "busiCode", 0);
        cJSON_AddStringToObject(reply.get(), "pcId", pcId.c_str());
        cJSON_AddNumberToObject(reply.get(), "vpnport", server_.port);
        cJSON_AddStringToObject(reply.get(), "userName", pcId.c_str());
        cJSON_AddStringToObject(reply.get(), "passwd", kPassword);
        cJSON_AddNumberToObject(reply.get(), "isSwitchOn", 1);
        context_.replies.Send(pcId, std::move(reply));
        SendStateReport(pcId, gwSn);
        return;
    }

    int switchOn = 0;
    if (!message.Has("switchOn"))
        return FarsideLog::Line(what + "refused: switchOn is missing");
    if (!message.Integer("switchOn", &switchOn))
        return FarsideLog::Line(what + "refused: " + message.Error());
    bool held;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = channels_.find(gwSn);
        held = it != channels_.end() && it->second == pcId;
    }
    if (switchOn == 1) {
        std::string lanIp, lanMask;
        if (!message.Text("lanIp", &lanIp) || !message.Text("lanMask", &lanMask))
            return FarsideLog::Line(what + "refused: " + message.Error());
        return FarsideLog::Line(what + (held ? "LAN " + lanIp + "/" + lanMask + " switched on"
                                             : "refused: the channel is not held by " + pcId));
    }
    int vpnPort = 0;
    if (!message.Integer("vpnPort", &vpnPort))
        return FarsideLog::Line(what + "refused: " + message.Error());
    if (!held)
        return FarsideLog::Line(what + "switch-off ignored: the channel is not held by " + pcId);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        channels_.erase(gwSn);
    }
    FarsideLog::Line(what + "switched off (vpnPort " + std::to_string(vpnPort) + ")");
    JsonPtr reply = PcReplies::Make(100);
    cJSON_AddStringToObject(reply.get(), "gwSn", gwSn.c_str());
    cJSON_AddNumberToObject(reply.get(), "busiCode", 0);
    cJSON_AddStringToObject(reply.get(), "pcId", pcId.c_str());
    cJSON_AddNumberToObject(reply.get(), "isSwitchOn", 0);
    context_.replies.Send(pcId, std::move(reply));
}

void VpnService::ReleasePc(const std::string& pcId)
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = channels_.begin(); it != channels_.end();) {
        if (it->second == pcId) {
            FarsideLog::Line("vpn service: channel of " + it->first + " freed (PC " + pcId + " went away)");
            it = channels_.erase(it);
        } else {
            ++it;
        }
    }
}

void VpnService::SendStateReports()
{
    std::vector<std::pair<std::string, std::string>> open;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& [gwSn, pcId] : channels_)
            open.emplace_back(pcId, gwSn);
    }
    for (const auto& [pcId, gwSn] : open)
        SendStateReport(pcId, gwSn);
}

void VpnService::SendStateReport(const std::string& pcId, const std::string& gwSn)
{
    const Inventory::Gateway* gateway = context_.inventory.FindGateway(gwSn);
    if (!gateway)
        return;
    JsonPtr report = PcReplies::Make(98);
    cJSON_AddNumberToObject(report.get(), "flag", 1);
    cJSON_AddStringToObject(report.get(), "gwSn", gwSn.c_str());
    cJSON_AddStringToObject(report.get(), "lanIp", gateway->lanIp.value_or("192.168.1.1").c_str());
    cJSON_AddStringToObject(report.get(), "csq", gateway->csq.value_or("31").c_str());
    cJSON_AddStringToObject(report.get(), "lanMask", gateway->lanMask.value_or("255.255.255.0").c_str());
    context_.replies.Send(pcId, std::move(report));
}
