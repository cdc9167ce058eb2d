#include "PortTransferServer.h"

#include "FarsideLog.h"
#include "FaultBoard.h"
#include "LinkTable.h"
#include "PcReplies.h"
#include "SerialDeviceHub.h"
#include "ServiceContext.h"
#include "TcpConnection.h"

#include "app/JsonPtr.h"

PortTransferServer::PortTransferServer(ServiceContext& context)
    : context_(context),
      server_(
          "port-transfer",
          [this](const std::shared_ptr<TcpConnection>& connection,
                 const RegistrationReader::Registration& registration, const std::string& rest,
                 const std::string& who) { Carry(connection, registration, rest, who); },
          [this](const std::string& json, const std::string& who) { Release(json, who); })
{
}

void PortTransferServer::Release(const std::string& json, const std::string& who)
{
    RegistrationReader::Release release;
    std::string why;
    if (!RegistrationReader::ParseRelease(json, &release, &why))
        return FarsideLog::Line(who + why);
    const std::string &gwSn = release.gwSn, &devSn = release.devSn, &pcId = release.pcId;
    const bool released = context_.links.Release(gwSn, devSn, pcId);
    if (released)
        context_.serialDevices.Unroute(gwSn, devSn);
    FarsideLog::Line(who + "3002 " + gwSn + "/" + devSn +
                     (released ? " released" : " was not held by " + pcId));
}

void PortTransferServer::Carry(const std::shared_ptr<TcpConnection>& connection,
                               const RegistrationReader::Registration& registration, const std::string& rest,
                               const std::string& who)
{
    std::string why;
    const int st = registration.st, reconnect = registration.reconnect;
    const std::string &pcId = registration.pcId, &gwSn = registration.gwSn, &devSn = registration.devSn;
    auto refuse = [&](const std::string& reason, const char* text) {
        FarsideLog::Line(who + "registration of " + gwSn + "/" + devSn + " refused: " + reason);
        JsonPtr result = PcReplies::Make(2993, gwSn, devSn);
        cJSON_AddNumberToObject(result.get(), "flag", 0);
        cJSON_AddStringToObject(result.get(), "msg", text);
        context_.replies.Send(pcId, std::move(result));
    };
    if (st != 1)
        return refuse("st is " + std::to_string(st) + ", expected 1", "设备注册失败");
    if (!context_.OnlineDevice(gwSn, devSn, &why))
        return refuse(why, "设备不存在或网关不在线");
    if (!context_.serialDevices.Has(gwSn, devSn))
        return refuse("not a serial device", "设备不是串口设备");
    if (!context_.links.HeldBy(gwSn, devSn, pcId))
        return refuse("not bound to " + pcId, "设备未绑定，注册失败");

    context_.serialDevices.Route(gwSn, devSn, pcId, connection);
    LinkTable::Session session;
    session.toDevice = [this, gwSn, devSn](const std::string& bytes) {
        return context_.serialDevices.Feed(gwSn, devSn, bytes);
    };
    session.close = [connection] { connection->Shutdown(); };
    const int id = context_.links.Attach(gwSn, devSn, session);
    // A reconnect takes the place of the tunnel's connection without a new result: the
    // tunnel is open already.
    const bool reattached = reconnect != 0;
    FarsideLog::Line(who + (reattached ? "re-attached " : "registered ") + gwSn + "/" + devSn + " for " +
                     pcId + (reconnect ? " (reconnect)" : ""));
    if (!reattached) {
        JsonPtr result = PcReplies::Make(2993, gwSn, devSn);
        cJSON_AddNumberToObject(result.get(), "flag", 1);
        cJSON_AddStringToObject(result.get(), "msg", "串口设备连接成功");
        context_.replies.Send(pcId, std::move(result));
    }

    const Inventory::Device* device = context_.inventory.FindDevice(gwSn, devSn);
    if (device && device->fault == "far-close" && !reattached) {
        FarsideLog::Line(who + "closing from the far end (fault far-close)");
        context_.replies.Send(pcId, PcReplies::Make(3003, gwSn, devSn));
    } else {
        const int tracked = context_.faults.Track(gwSn, devSn, [connection] { connection->Shutdown(); });
        bool more = true;
        auto feed = [&](const std::string& bytes) {
            bool drop = false;
            const size_t admitted = context_.faults.Admit(tracked, bytes.size(), &drop);
            if (admitted > 0)
                context_.serialDevices.Feed(gwSn, devSn,
                                            admitted == bytes.size() ? bytes : bytes.substr(0, admitted));
            if (drop) {
                FarsideLog::Line(who + "connection of " + gwSn + "/" + devSn +
                                 " dropped (fault dropAfterBytes)");
                connection->Shutdown();
                more = false;
            }
        };
        if (!rest.empty())
            feed(rest);
        while (more) {
            const std::string bytes = connection->Receive(kBlockSize);
            if (bytes.empty())
                break;
            feed(bytes);
        }
        context_.faults.Untrack(tracked);
    }
    context_.serialDevices.Unroute(gwSn, devSn, connection);
    context_.links.Detach(gwSn, devSn, id);
    FarsideLog::Line(who + "connection of " + gwSn + "/" + devSn + " closed");
}
