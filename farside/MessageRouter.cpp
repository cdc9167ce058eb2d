#include "MessageRouter.h"

#include "FarsideLog.h"
#include "InboundMessage.h"
#include "LinkTable.h"
#include "SerialDeviceHub.h"
#include "ServiceContext.h"

namespace {

// The one level of `topic` between `prefix` and `suffix`, or empty when the topic has
// another shape.
std::string Between(const std::string& topic, const std::string& prefix, const std::string& suffix)
{
    if (topic.size() <= prefix.size() + suffix.size() || topic.compare(0, prefix.size(), prefix) != 0 ||
        topic.compare(topic.size() - suffix.size(), suffix.size(), suffix) != 0)
        return std::string();
    const std::string level = topic.substr(prefix.size(), topic.size() - prefix.size() - suffix.size());
    return level.find('/') == std::string::npos ? level : std::string();
}

} // namespace

MessageRouter::MessageRouter(ServiceContext& context, VpnService::Server vpnServer)
    : context_(context), binder_(context), gateways_(context), vpn_(context, std::move(vpnServer))
{
}

void MessageRouter::Route(const std::string& topic, const std::string& payload)
{
    std::string level;
    if (topic == "/sys/varnex_binder/sub")
        binder_.Handle(payload);
    else if (topic == "/sys/lumetra/pfs/pc")
        PcWentAway(payload);
    else if (!(level = Between(topic, "/sys/transparent/", "/down")).empty())
        gateways_.Handle(level, payload, true);
    else if (!(level = Between(topic, "/", "/down")).empty())
        gateways_.Handle(level, payload, false);
    else if (!(level = Between(topic, "/", "/lumetraToServer")).empty())
        vpn_.Handle(level, payload);
    else
        FarsideLog::Line("no service for topic " + topic);
}

void MessageRouter::PcWentAway(const std::string& payload)
{
    InboundMessage message;
    int cmdId = 0;
    std::string pcId;
    if (!message.Parse(payload) || !message.Text("pc_id", &pcId) || !message.Integer("cmdId", &cmdId))
        return FarsideLog::Line("last will refused: " + message.Error());
    if (cmdId != 3012)
        return FarsideLog::Line("last will refused: cmdId " + std::to_string(cmdId) + ", expected 3012");
    FarsideLog::Line("PC " + pcId + " went away");
    for (const LinkTable::Holder& freed : context_.links.ReleasePc(pcId)) {
        context_.serialDevices.Unroute(freed.gwSn, freed.devSn);
        FarsideLog::Line(freed.gwSn + "/" + freed.devSn + " freed");
    }
    vpn_.ReleasePc(pcId);
}

void MessageRouter::SendKeepAlives()
{
    for (const LinkTable::Holder& holder : context_.links.Holders())
        gateways_.SendKeepAlive(holder.pcId, holder.gwSn, holder.devSn);
    vpn_.SendStateReports();
}
