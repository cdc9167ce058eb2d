#include "CliDetailSession.h"

#include "CliCommand.h"
#include "CliConsole.h"
#include "CliMqttSession.h"
#include "CliSignIn.h"
#include "app/Installation.h"
#include "cloud/CNodeDevice.h"
#include "cloud/CNodeGateway.h"
#include "control/GatewayQuery.h"
#include "mqtt-c/MqttConnection.h"
#include "platform/WindowMessages.h"

#include <QTimer>

#include <cjson/cJSON.h>

#include <cstring>
#include <string>

namespace {

// The member that marks the session's own probe on the PC's topic.
const char kProbeMember[] = "cliProbe";

} // namespace

CliDetailSession::CliDetailSession(Session& session, Installation& installation, VirtualComPairs& comPairs)
    : installation_(installation),
      controller_(session, TunnelServices{&mqtt_.Connection(), &installation, &installation.Trace()}),
      tunnelHost_(installation, comPairs)
{
    controller_.SetDeviceTableHost(this);
    // The port-forward tunnel finds its local connection through the listener host
    // itself, so the host (not this window around it) is the tunnels' listener window.
    controller_.SetTunnelHost(&tunnelHost_);
}

CliDetailSession::~CliDetailSession()
{
    if (mqtt_.Connection().TargetWindow() == this) {
        mqtt_.Connection().SetTargetWindow(nullptr);
    }
    // The controller's tunnels hold the tunnel host and report to this window: they
    // go now, before the members go (the host is declared after the controller, so
    // it would go first).
    controller_.ReleaseTunnels();
}

platform::LResult CliDetailSession::WindowProc(platform::MsgCode msg, platform::WParam wParam,
                                               platform::LParam lParam)
{
    switch (msg) {
    case WM_TUNNEL_REPLY:
        if (wParam == 0 && IsProbe(lParam)) {
            if (!connected_) {
                connected_ = true;
                if (probeTimer_ != nullptr) {
                    probeTimer_->stop();
                }
                // Not from inside this handler: the MQTT thread waits on it.
                QTimer::singleShot(0, [this] {
                    if (ready_) {
                        ready_();
                    }
                });
            }
            return 0;
        }
        return controller_.WindowProc(msg, wParam, lParam);
    default:
        return controller_.WindowProc(msg, wParam, lParam);
    }
}

void CliDetailSession::ResetRowButton(int row)
{
    if (rowReset_) {
        rowReset_(row);
    }
}

int CliDetailSession::LoadGateway(Session& session, const Installation& installation,
                                  const CliArguments& args, const std::string& gwSn,
                                  std::unique_ptr<CNodeGateway>* gateway)
{
    const int signedIn = CliSignIn::SignInForQuery(session, installation, args);
    if (signedIn != kExitOk) {
        return signedIn;
    }
    GatewayQuery query(session);
    if (!query.Search(gwSn, "", "")) {
        CliConsole::Err(query.Failure());
        return kExitFailed;
    }
    for (const CNodeGateway& candidate : query.Gateways()) {
        if (candidate.gwSn == gwSn) {
            *gateway = std::make_unique<CNodeGateway>(static_cast<const GatewayInfo&>(candidate));
            break;
        }
    }
    if (*gateway == nullptr) {
        CliConsole::Error("the account has no gateway " + gwSn);
        return kExitFailed;
    }
    CDeviceListReply devices = query.Devices(gwSn);
    (*gateway)->devices = std::move(devices.devices);
    if (devices.flag == 0) {
        CliConsole::Err(devices.msg);
        return kExitFailed;
    }
    return kExitOk;
}

bool CliDetailSession::Start(std::function<void()> ready, std::function<void()> failed)
{
    ready_ = std::move(ready);
    failed_ = std::move(failed);
    if (!mqtt_.Start(installation_, this)) {
        return false;
    }
    started_ = true;
    probesLeft_ = kBrokerWaitMs / kProbeIntervalMs;
    probeTimer_ = std::make_unique<QTimer>();
    QObject::connect(probeTimer_.get(), &QTimer::timeout, [this] { SendProbe(); });
    probeTimer_->start(kProbeIntervalMs);
    SendProbe();
    return true;
}

void CliDetailSession::Stop()
{
    if (probeTimer_ != nullptr) {
        probeTimer_->stop();
    }
    if (started_) {
        started_ = false;
        mqtt_.Stop();
    }
}

void CliDetailSession::SendProbe()
{
    if (connected_) {
        return;
    }
    if (probesLeft_-- <= 0) {
        probeTimer_->stop();
        CliConsole::Error("the broker did not deliver this client's messages in time");
        if (failed_) {
            failed_();
        }
        return;
    }
    // A result without a tunnel (3010) on the PC's own topic: it comes back only
    // once the subscription is in place, and the session keeps it to itself.
    const std::string topic = std::string("/") + mqtt_.Connection().PcId() + "/lumetraToPC";
    const std::string payload = std::string("{\"cmdId\":3010,\"") + kProbeMember + "\":1}";
    mqtt_.Connection().Publish(topic.c_str(), payload.data(), static_cast<int>(payload.size()), 1);
}

bool CliDetailSession::IsProbe(platform::LParam message) const
{
    const cJSON* json = reinterpret_cast<const cJSON*>(message);
    return json != nullptr && cJSON_GetObjectItemCaseSensitive(json, kProbeMember) != nullptr;
}
