#include "RelayServer.h"

#include "Base64.h"
#include "FarsideLog.h"
#include "LinkTable.h"
#include "PcReplies.h"
#include "ServiceContext.h"
#include "TcpConnection.h"

#include "app/JsonPtr.h"

#include <cstdint>
#include <thread>

RelayServer::RelayServer(ServiceContext& context, DeviceAddress address)
    : context_(context), address_(std::move(address)),
      server_(
          "relay",
          [this](const std::shared_ptr<TcpConnection>& connection,
                 const RegistrationReader::Registration& registration, const std::string& rest,
                 const std::string& who) { Relay(connection, registration, rest, who); },
          [](const std::string&, const std::string& who) {
              FarsideLog::Line(who + "closed: a zelq frame belongs to the port-transfer server");
          })
{
}

void RelayServer::Relay(const std::shared_ptr<TcpConnection>& connection,
                        const RegistrationReader::Registration& registration, const std::string& rest,
                        const std::string& who)
{
    std::string why;
    const int st = registration.st, reconnect = registration.reconnect;
    const std::string &pcId = registration.pcId, &gwSn = registration.gwSn, &devSn = registration.devSn;
    const std::string what = who + gwSn + "/" + devSn + " for " + pcId + ": ";
    if (st != 1)
        return FarsideLog::Line(what + "refused: st is " + std::to_string(st) + ", expected 1");
    const Inventory::Device* device = context_.OnlineDevice(gwSn, devSn, &why);
    if (!device)
        return FarsideLog::Line(what + "refused: " + why);
    if (device->fault == "relay-unreachable")
        return FarsideLog::Line(what + "closed at once (fault relay-unreachable)");
    if (device->fault == "no-answer") {
        FarsideLog::Line(what + "left unanswered (fault no-answer)");
        while (!connection->Receive(4096).empty()) {
        }
        return;
    }
    const std::string holder = context_.links.HolderOf(gwSn, devSn);
    if (device->fault == "occupied" || !context_.links.Bind(gwSn, devSn, pcId)) {
        FarsideLog::Line(what + "occupied" + (holder.empty() ? std::string(" (fault)") : " by " + holder));
        JsonPtr answer = PcReplies::Make(2984, gwSn, devSn);
        cJSON_AddBoolToObject(answer.get(), "is_occupy", true);
        context_.replies.Send(pcId, std::move(answer));
        return;
    }
    std::string host;
    int port = 0;
    std::shared_ptr<TcpConnection> target;
    if (address_(gwSn, *device, &host, &port, &why))
        target = TcpConnection::Connect(host, port, kConnectTimeoutMs, &why);
    if (!target) {
        context_.links.Release(gwSn, devSn, pcId);
        return FarsideLog::Line(what + "closed: device unreachable: " + why);
    }
    const bool viaMqtt = device->returnPath == "mqtt";
    FarsideLog::Line(what + "relaying to " + host + ":" + std::to_string(port) +
                     (viaMqtt ? " (answers as 2988)" : "") + (reconnect ? " (reconnect)" : ""));
    LinkTable::Session session;
    session.toDevice = [target](const std::string& bytes) { return target->Send(bytes); };
    session.close = [connection, target] {
        connection->Shutdown();
        target->Shutdown();
    };
    const int id = context_.links.Attach(gwSn, devSn, session);
    JsonPtr answer = PcReplies::Make(2984, gwSn, devSn);
    cJSON_AddBoolToObject(answer.get(), "is_occupy", false);
    context_.replies.Send(pcId, std::move(answer));

    std::thread fromDevice([&] {
        uint32_t ptSn = 0;
        for (std::string bytes = target->Receive(4096); !bytes.empty(); bytes = target->Receive(4096)) {
            if (!viaMqtt) {
                connection->Send(bytes);
                continue;
            }
            JsonPtr data = PcReplies::Make(2988, gwSn, devSn);
            cJSON_AddNumberToObject(data.get(), "pt_sn", ++ptSn);
            cJSON_AddStringToObject(data.get(), "pt_payload", Base64::Encode(bytes).c_str());
            context_.replies.Send(pcId, std::move(data));
        }
        connection->Shutdown(); // the device closed: so does the tunnel
    });
    bool sent = rest.empty() || target->Send(rest);
    for (std::string bytes = sent ? connection->Receive(4096) : std::string(); !bytes.empty();
         bytes = connection->Receive(4096)) {
        if (!target->Send(bytes))
            break;
    }
    target->Shutdown();
    fromDevice.join();
    target->Close();
    context_.links.Detach(gwSn, devSn, id);
    context_.links.Release(gwSn, devSn, pcId);
    FarsideLog::Line(what + "connection closed, device freed");
}
