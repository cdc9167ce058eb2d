#include "RelayServer.h"

#include "Base64.h"
#include "FarsideLog.h"
#include "FaultBoard.h"
#include "LinkTable.h"
#include "PcReplies.h"
#include "ServiceContext.h"
#include "TcpConnection.h"

#include "app/JsonPtr.h"

#include <chrono>
#include <cstdint>
#include <thread>

namespace {

// How long a read of the device connection waits before it looks whether the tunnel
// ended on the PC's side (the device connection may outlive it, parked).
constexpr int kDevicePollMs = 100;

} // namespace

RelayServer::RelayServer(ServiceContext& context, DeviceAddress address)
    : context_(context), address_(std::move(address)),
      parked_([this](const ParkedRelays::Key& key, ParkedRelays::Parked& parked) {
          parked.target->Close();
          context_.links.Release(key.first, key.second, parked.pcId);
          FarsideLog::Line("relay: " + key.first + "/" + key.second + " for " + parked.pcId +
                           ": not re-attached in time, device freed");
      }),
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

void RelayServer::StopForRestart()
{
    restarting_ = true;
    server_.Stop();
    restarting_ = false;
}

void RelayServer::Relay(const std::shared_ptr<TcpConnection>& connection,
                        const RegistrationReader::Registration& registration, const std::string& rest,
                        const std::string& who)
{
    std::string why;
    const int st = registration.st, reconnect = registration.reconnect;
    const std::string &pcId = registration.pcId, &gwSn = registration.gwSn, &devSn = registration.devSn;
    const std::string what = who + gwSn + "/" + devSn + " for " + pcId + ": ";
    const ParkedRelays::Key key{gwSn, devSn};
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
    // A reconnect of the PC holding the tunnel takes over its device connection.
    ParkedRelays::Parked taken;
    bool reattached = false;
    if (reconnect && context_.links.HeldBy(gwSn, devSn, pcId)) {
        parked_.Want(key);
        context_.links.CloseSession(gwSn, devSn); // a live old connection parks its device connection
        reattached = parked_.Take(key, pcId, kConnectTimeoutMs, &taken);
        if (!reattached)
            FarsideLog::Line(what + "nothing to re-attach: opening anew");
    }
    const bool viaMqtt = device->returnPath == "mqtt";
    std::shared_ptr<TcpConnection> target = taken.target;
    if (!reattached) {
        const std::string holder = context_.links.HolderOf(gwSn, devSn);
        if (device->fault == "occupied" || context_.faults.Of(gwSn, devSn).occupied ||
            !context_.links.Bind(gwSn, devSn, pcId)) {
            FarsideLog::Line(what + "occupied" +
                             (holder.empty() ? std::string(" (fault)") : " by " + holder));
            JsonPtr answer = PcReplies::Make(2984, gwSn, devSn);
            cJSON_AddBoolToObject(answer.get(), "is_occupy", true);
            context_.replies.Send(pcId, std::move(answer));
            return;
        }
        std::string host;
        int port = 0;
        if (address_(gwSn, *device, &host, &port, &why))
            target = TcpConnection::Connect(host, port, kConnectTimeoutMs, &why);
        if (!target) {
            context_.links.Release(gwSn, devSn, pcId);
            return FarsideLog::Line(what + "closed: device unreachable: " + why);
        }
        FarsideLog::Line(what + "relaying to " + host + ":" + std::to_string(port) +
                         (viaMqtt ? " (answers as 2988)" : "") + (reconnect ? " (reconnect)" : ""));
    } else {
        FarsideLog::Line(what + "re-attached to its device connection (reconnect)");
    }

    LinkTable::Session session;
    session.toDevice = [target](const std::string& bytes) { return target->Send(bytes); };
    session.close = [this, connection, target, key] {
        connection->Shutdown();
        if (!parked_.Wanted(key))
            target->Shutdown();
    };
    const int id = context_.links.Attach(gwSn, devSn, session);
    if (!reattached) {
        JsonPtr answer = PcReplies::Make(2984, gwSn, devSn);
        cJSON_AddBoolToObject(answer.get(), "is_occupy", false);
        context_.replies.Send(pcId, std::move(answer));
    }

    Outcome outcome = Carry(connection, target, registration, viaMqtt, rest, std::move(taken.pending));
    context_.links.Detach(gwSn, devSn, id);
    if (!outcome.deviceClosed && (outcome.dropped || restarting_ || parked_.Wanted(key)) &&
        context_.links.HeldBy(gwSn, devSn, pcId)) {
        parked_.Park(key, {pcId, target, std::move(outcome.pending)});
        return FarsideLog::Line(what +
                                "connection ended by the far side, device connection kept for a reconnect");
    }
    target->Close();
    context_.links.Release(gwSn, devSn, pcId);
    FarsideLog::Line(what + "connection closed, device freed");
}

RelayServer::Outcome RelayServer::Carry(const std::shared_ptr<TcpConnection>& connection,
                                        const std::shared_ptr<TcpConnection>& target,
                                        const RegistrationReader::Registration& registration, bool viaMqtt,
                                        const std::string& rest, std::string pending)
{
    const std::string &pcId = registration.pcId, &gwSn = registration.gwSn, &devSn = registration.devSn;
    Outcome outcome;
    std::atomic<bool> pcEnded{false}, dropped{false};
    const int tracked = context_.faults.Track(gwSn, devSn, [connection, &dropped] {
        dropped = true;
        connection->Shutdown();
    });
    std::thread fromDevice([&] {
        uint32_t ptSn = 0;
        std::string bytes = std::move(pending);
        for (;;) {
            if (bytes.empty()) {
                if (pcEnded)
                    break;
                bytes = target->Receive(kBlockSize, kDevicePollMs);
                if (bytes.empty() && target->TimedOut())
                    continue;
                if (bytes.empty()) {
                    outcome.deviceClosed = true;
                    break;
                }
                // A slow device: its answer reaches the PC that much later.
                const int hold = context_.faults.Of(gwSn, devSn).dataDelayMs;
                if (hold > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(hold));
            }
            if (!viaMqtt) {
                if (!connection->Send(bytes)) {
                    outcome.pending = std::move(bytes);
                    break;
                }
            } else {
                JsonPtr data = PcReplies::Make(2988, gwSn, devSn);
                cJSON_AddNumberToObject(data.get(), "pt_sn", ++ptSn);
                cJSON_AddStringToObject(data.get(), "pt_payload", Base64::Encode(bytes).c_str());
                context_.replies.Send(pcId, std::move(data));
            }
            bytes.clear();
        }
        connection->Shutdown(); // the device closed, or the PC's side ended: so does the tunnel
    });
    auto toDevice = [&](const std::string& bytes) {
        bool drop = false;
        const size_t admitted = context_.faults.Admit(tracked, bytes.size(), &drop);
        const bool sent = target->Send(admitted == bytes.size() ? bytes : bytes.substr(0, admitted));
        if (drop) {
            FarsideLog::Line("relay: " + gwSn + "/" + devSn + " for " + pcId +
                             ": connection dropped (fault dropAfterBytes)");
            dropped = true;
            connection->Shutdown();
        }
        return sent && !drop;
    };
    bool sent = rest.empty() || toDevice(rest);
    for (std::string bytes = sent ? connection->Receive(kBlockSize) : std::string(); !bytes.empty();
         bytes = connection->Receive(kBlockSize)) {
        if (!toDevice(bytes))
            break;
    }
    context_.faults.Untrack(tracked);
    connection->Shutdown();
    pcEnded = true;
    fromDevice.join();
    outcome.dropped = dropped;
    return outcome;
}
