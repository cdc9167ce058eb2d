#include "BinderService.h"

#include "FarsideLog.h"
#include "FaultBoard.h"
#include "InboundMessage.h"
#include "LinkTable.h"
#include "PcReplies.h"
#include "SerialDeviceHub.h"
#include "ServiceContext.h"

#include <cjson/cJSON.h>

namespace {

void Refuse(const std::string& what, const std::string& why)
{
    FarsideLog::Line("binder: " + what + " refused: " + why);
}

} // namespace

void BinderService::Handle(const std::string& payload)
{
    InboundMessage message;
    int cmdId = 0;
    if (!message.Parse(payload) || !message.Integer("cmd_id", &cmdId)) {
        Refuse("message", message.Error());
        return;
    }
    const std::string what = std::to_string(cmdId);
    std::string pcId, gwSn, devSn, why;
    bool shaped;
    switch (cmdId) {
    case 2978:
        shaped = message.MembersAre({"cmd_id", "pc_id"});
        break;
    case 2983:
        shaped = message.MembersAre({"cmd_id", "gw_sn", "dev_sn", "pc_id"});
        break;
    case 3000:
        shaped = message.MembersAre({"cmd_id", "link_type", "pc_id", "gw_sn", "dev_sn", "com", "baud",
                                     "parity", "data_bit", "stop_bit"});
        break;
    case 3002:
        shaped = message.MembersAre({"cmd_id", "link_type", "pc_id", "gw_sn", "dev_sn"});
        break;
    default:
        return Refuse(what, "unknown cmd_id");
    }
    if (!shaped)
        return Refuse(what, message.Error());
    if (cmdId == 2978) {
        if (!message.Text("pc_id", &pcId))
            return Refuse(what, message.Error());
        for (const LinkTable::Holder& freed : context_.links.ReleasePc(pcId)) {
            context_.serialDevices.Unroute(freed.gwSn, freed.devSn);
            FarsideLog::Line("binder: " + freed.gwSn + "/" + freed.devSn + " released (PC " + pcId +
                             " left)");
        }
        return;
    }
    if (!message.Text("pc_id", &pcId) || !message.Text("gw_sn", &gwSn) || !message.Text("dev_sn", &devSn))
        return Refuse(what, message.Error());
    const Inventory::Device* device = context_.OnlineDevice(gwSn, devSn, &why);
    if (!device)
        return Refuse(what, why + " (no answer)");

    if (cmdId == 2983) {
        if (device->fault == "no-answer")
            return FarsideLog::Line("binder: 2983 for " + gwSn + "/" + devSn +
                                    " left unanswered (fault no-answer)");
        const std::string holder = context_.links.HolderOf(gwSn, devSn);
        const bool occupied = device->fault == "occupied" || context_.faults.Of(gwSn, devSn).occupied ||
                              !context_.links.Bind(gwSn, devSn, pcId);
        JsonPtr answer = PcReplies::Make(2984, gwSn, devSn);
        cJSON_AddNumberToObject(answer.get(), "is_bind", occupied ? 1 : 0);
        FarsideLog::Line("binder: " + gwSn + "/" + devSn +
                         (occupied
                              ? " occupied" + (holder.empty() ? std::string(" (fault)") : " by " + holder)
                              : " bound to " + pcId));
        context_.replies.Send(pcId, std::move(answer));
        return;
    }

    int linkType = 0;
    if (!message.Integer("link_type", &linkType))
        return Refuse(what, message.Error());
    if (cmdId == 3002) {
        const bool released = context_.links.Release(gwSn, devSn, pcId);
        if (released)
            context_.serialDevices.Unroute(gwSn, devSn);
        FarsideLog::Line("binder: 3002 " + gwSn + "/" + devSn +
                         (released ? " released" : " was not held by " + pcId));
        return;
    }

    // 3000: the link settings of a serial device.
    std::string com, parity;
    int baud = 0, dataBit = 0, stopBit = 0;
    if (!message.Text("com", &com) || !message.Integer("baud", &baud) || !message.Text("parity", &parity) ||
        !message.Integer("data_bit", &dataBit) || !message.Integer("stop_bit", &stopBit))
        return Refuse(what, message.Error());
    int st = 2, flag = 1;
    std::string outcome = "registered";
    if (device->fault == "register-refused") {
        flag = 0;
        outcome = "refused (fault register-refused)";
    } else if (!context_.links.HeldBy(gwSn, devSn, pcId)) {
        flag = 0;
        outcome = "refused (not bound to " + pcId + ")";
    }
    FarsideLog::Line("binder: 3000 " + gwSn + "/" + devSn + " " + com + " " + std::to_string(baud) + " " +
                     parity + " " + std::to_string(dataBit) + " " + std::to_string(stopBit) + ": " + outcome);
    JsonPtr answer = PcReplies::Make(3001, gwSn, devSn);
    cJSON_AddNumberToObject(answer.get(), "st", st);
    cJSON_AddNumberToObject(answer.get(), "flag", flag);
    context_.replies.Send(pcId, std::move(answer));
}
