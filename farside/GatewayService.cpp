#include "GatewayService.h"

#include "Base64.h"
#include "FarsideLog.h"
#include "InboundMessage.h"
#include "LinkTable.h"
#include "PcReplies.h"
#include "SerialDeviceHub.h"
#include "ServiceContext.h"

#include <cjson/cJSON.h>

namespace {

const char kPublish[] = "/ipc/kavno/publish";
const char kPublishLumetra[] = "/ipc/kavno/publish/lumetra";

} // namespace

void GatewayService::Handle(const std::string& gwSn, const std::string& payload, bool transparent)
{
    const std::string who = "gateway " + gwSn + ": ";
    InboundMessage message;
    const cJSON* control = nullptr;
    const cJSON* body = nullptr;
    std::string forward, devSn, pcId, why;
    int cmdId = 0;
    if (!message.Parse(payload) || !message.Object("ctrl_root", &control) ||
        !message.Text("forward_topic", &forward, control) || !message.Object("payload_root", &body) ||
        !message.Integer("cmdId", &cmdId, body) || !message.Text("dev_sn", &devSn, body) ||
        !message.Text("pc_id", &pcId, body))
        return FarsideLog::Line(who + "message refused: " + message.Error());
    const std::string what = who + std::to_string(cmdId) + " ";
    if (!message.MembersAre({"ctrl_root", "payload_root"}) || !message.MembersAre({"forward_topic"}, control))
        return FarsideLog::Line(what + "refused: envelope: " + message.Error());
    bool shaped;
    switch (cmdId) {
    case 2987:
        shaped = message.MembersAre({"cmdId", "dev_sn", "pc_id", "seq"}, body);
        break;
    case 2990: // the serial tunnel's data adds its byte count and new-connection flag
        shaped =
            message.MembersAre({"cmdId", "dev_sn", "pc_id", "pt_sn", "tun_type", "pt_payload"}, body) ||
            message.MembersAre(
                {"cmdId", "dev_sn", "pc_id", "pt_sn", "tun_type", "pt_payload", "pt_len", "sock_new"}, body);
        break;
    case 2992:
        shaped = message.MembersAre({"cmdId", "dev_sn", "pc_id", "tun_type", "dev_ip", "dev_port"}, body);
        break;
    default:
        shaped = message.MembersAre({"cmdId", "dev_sn", "pc_id"}, body);
        break;
    }
    if (!shaped)
        return FarsideLog::Line(what + "refused: payload_root: " + message.Error());
    const bool openOrUnbind = cmdId == 2996 || cmdId == 2998;
    const std::string expected = openOrUnbind ? kPublish : kPublishLumetra;
    if (forward != expected)
        return FarsideLog::Line(what + "refused: forward_topic \"" + forward + "\", expected \"" + expected +
                                "\"");
    if (transparent && cmdId != 2990)
        return FarsideLog::Line(what + "refused: only data (2990) travels on /sys/transparent/");
    const Inventory::Device* device = context_.OnlineDevice(gwSn, devSn, &why);
    if (!device)
        return FarsideLog::Line(what + "not answered: " + why);
    if (cmdId == 2994 || cmdId == 2987 || cmdId == 2985 || cmdId == 2981)
        return FarsideLog::Line(what + "from " + pcId + " noted");
    if (cmdId == 2998) {
        const bool released = context_.links.Release(gwSn, devSn, pcId);
        if (released)
            context_.serialDevices.Unroute(gwSn, devSn);
        return FarsideLog::Line(what + devSn + (released ? " unbound" : " was not held by " + pcId));
    }
    if (cmdId != 2996 && cmdId != 2992 && cmdId != 2990)
        return FarsideLog::Line(what + "refused: unknown cmdId");
    if (!context_.links.HeldBy(gwSn, devSn, pcId))
        return FarsideLog::Line(what + "refused: " + devSn + " is not held by " + pcId);

    if (cmdId == 2996) {
        context_.replies.Send(pcId, PcReplies::Make(2995, gwSn, devSn));
        return;
    }
    if (cmdId == 2992) {
        std::string devIp;
        int tunType = 0, devPort = 0;
        if (!message.Integer("tun_type", &tunType, body) || !message.Text("dev_ip", &devIp, body) ||
            !message.Integer("dev_port", &devPort, body))
            return FarsideLog::Line(what + "refused: " + message.Error());
        if (devIp != device->ip.value_or("") || devPort != device->port.value_or(0))
            FarsideLog::Line(what + "target " + devIp + ":" + std::to_string(devPort) +
                             " differs from the inventory's; the relay uses the inventory's");
        const bool refused = device->fault == "register-refused";
        JsonPtr result = PcReplies::Make(2993, gwSn, devSn);
        cJSON_AddNumberToObject(result.get(), "flag", refused ? 0 : 1);
        cJSON_AddStringToObject(result.get(), "msg",
                                refused ? "设备注册失败，网关拒绝了连接" : "设备连接成功");
        context_.replies.Send(pcId, std::move(result));
        if (device->fault == "far-close") {
            context_.replies.Send(pcId, PcReplies::Make(3003, gwSn, devSn));
            context_.links.CloseSession(gwSn, devSn);
        }
        return;
    }

    // 2990: bytes from the PC for the device.
    std::string text, bytes;
    int ptSn = 0, tunType = 0;
    if (!message.Integer("pt_sn", &ptSn, body) || !message.Integer("tun_type", &tunType, body) ||
        !message.Text("pt_payload", &text, body))
        return FarsideLog::Line(what + "refused: " + message.Error());
    if (!Base64::Decode(text, &bytes))
        return FarsideLog::Line(what + "refused: pt_payload is not Base64");
    int ptLen = 0;
    if (message.Has("pt_len", body) &&
        (!message.Integer("pt_len", &ptLen, body) || ptLen != static_cast<int>(bytes.size())))
        return FarsideLog::Line(what + "refused: pt_len does not match the decoded payload (" +
                                std::to_string(bytes.size()) + " bytes)");
    if (context_.serialDevices.Has(gwSn, devSn)) {
        context_.serialDevices.RouteToPc(gwSn, devSn, pcId);
        context_.serialDevices.Feed(gwSn, devSn, bytes);
    } else if (!context_.links.ToDevice(gwSn, devSn, bytes)) {
        FarsideLog::Line(what + std::to_string(bytes.size()) + " bytes dropped: no relay connection to " +
                         devSn);
    }
}

void GatewayService::SendKeepAlive(const std::string& pcId, const std::string& gwSn, const std::string& devSn)
{
    context_.replies.Send(pcId, PcReplies::Make(2997, gwSn, devSn));
}
