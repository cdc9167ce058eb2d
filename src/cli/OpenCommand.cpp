#include "OpenCommand.h"

#include "CliConsole.h"
#include "CliDetailSession.h"
#include "CliEventLoop.h"
#include "CliSignIn.h"
#include "cloud/CNodeDevice.h"
#include "cloud/CNodeGateway.h"
#include "cloud/VirtualComPair.h"
#include "endpoint/CServerSocket.h"
#include "platform/ComPortNames.h"
#include "platform/TextCodec.h"
#include "tunnel/CComDataTunnel.h"

#include <QTimer>

#include <memory>

const char* OpenCommand::Details() const
{
    static const std::string details =
        std::string("  --stats   once the tunnel is ready, print a line a second:\n"
                    "            stats: <devsn> tx=<bytes> rx=<bytes> rate=<B/s> rtt50=<ms> rtt95=<ms> "
                    "timeout=<ms>\n") +
        CliSignIn::CredentialDetails();
    return details.c_str();
}

bool OpenCommand::Parse(const std::vector<std::string>& words)
{
    args_.AddFlag("--stats");
    if (!CliSignIn::ParseCommandLine(args_, words, 2,
                                     "a gateway serial number GWSN and a device serial DEVSN are needed")) {
        return false;
    }
    const std::vector<std::string>& positional = args_.Positional();
    gwSn_ = positional[0];
    devSn_ = positional[1];
    return true;
}

int OpenCommand::Execute(Session& session)
{
    std::unique_ptr<CNodeGateway> gateway;
    const int loaded = LoadGateway(session, gwSn_, &gateway);
    if (loaded != kExitOk) {
        return loaded;
    }
    int row = 0;
    for (const std::unique_ptr<CNodeDevice>& device : gateway->devices) {
        if (device != nullptr && platform::TextCodec::WideToUtf8(device->deviceSn) == devSn_) {
            device_ = device.get();
            break;
        }
        ++row;
    }
    if (device_ == nullptr || !device_->IsTunnelCapable()) {
        CliConsole::Error(device_ == nullptr ? "gateway " + gwSn_ + " has no device " + devSn_
                                             : "device " + devSn_ + " offers no tunnel (tunnel type " +
                                                   std::to_string(device_->tunType) + ")");
        return kExitFailed;
    }

    CNodeGateway* shown = gateway.get();
    return RunSession(
        session,
        [this](CliEventLoop& loop, CliDetailSession& detail) {
            detail.OnRowReset([this](int) { Finish(kExitFailed); });
            GatewayDetailController* controller = &detail.Controller();
            loop.OnStopSignal([this, controller](int) {
                closing_ = true;
                controller->CloseTipsDialog();
                if (device_->tunnelOpen != 0) {
                    controller->CloseRequest(device_);
                }
                Finish(ready_ ? kExitOk : kExitFailed);
            });
        },
        [this, shown, row] {
            GatewayDetailController& controller = DetailSession()->Controller();
            controller.SetGateway(shown);
            // As the device table does: remember the row, mark the row on, ask.
            device_->rowIndex = row;
            device_->tunnelOpen = 1;
            controller.OpenRequest(device_);
        });
}

void OpenCommand::DetailChanged()
{
    // The far end closed a tunnel that was ready: close it here too and give up.
    const CDataTunnel* tunnel =
        DetailSession() != nullptr ? DetailSession()->Controller().DeviceTunnel(device_) : nullptr;
    // (A tunnel that ended itself has its row off already and its text shown.)
    if (ready_ && !closing_ && !Finishing() && tunnel != nullptr && device_->tunnelOpen != 0 &&
        !DetailSession()->Controller().IsActive(tunnel)) {
        CliConsole::Error("the far end closed the tunnel");
        ready_ = false;
        // Not inside the tunnel's own message handling: close afterwards.
        QTimer::singleShot(0, [this] {
            if (DetailSession() != nullptr && device_->tunnelOpen != 0) {
                DetailSession()->Controller().CloseRequest(device_);
            }
            Finish(kExitFailed);
        });
    }
}

void OpenCommand::DeviceOpened(CNodeDevice* device)
{
    if (device != device_ || ready_ || Finishing()) {
        return;
    }
    ready_ = true;
    CliConsole::Out("ready: " + ReadyPlace());
    if (args_.Has("--stats")) {
        stats_.Start([this]() -> std::vector<const CDataTunnel*> {
            const CDataTunnel* tunnel =
                DetailSession() != nullptr ? DetailSession()->Controller().DeviceTunnel(device_) : nullptr;
            if (!ready_ || closing_ || Finishing() || tunnel == nullptr) {
                return {};
            }
            return {tunnel};
        });
    }
}

void OpenCommand::DeviceLinkChanged(CNodeDevice* device, bool up)
{
    if (device == device_ && ready_ && !closing_ && !Finishing()) {
        CliConsole::Out(std::string(up ? "link: back" : "link: lost"));
    }
}

void OpenCommand::DeviceOpenFailed(CNodeDevice* device)
{
    if (device == device_ && !ready_) {
        Finish(kExitFailed);
    }
}

void OpenCommand::RequestTimedOut(CNodeDevice* /*device*/)
{
    if (!ready_) {
        Finish(kExitFailed);
    }
}

std::string OpenCommand::ReadyPlace() const
{
    const CDataTunnel* tunnel =
        DetailSession() != nullptr ? DetailSession()->Controller().DeviceTunnel(device_) : nullptr;
    if (auto* serial = dynamic_cast<const CComDataTunnel*>(tunnel)) {
        const _virtual_com_half* user = serial->GetUserHalf();
        return user != nullptr ? platform::ResolveComPortName("COM" + std::to_string(user->com))
                               : std::string("-");
    }
    const CServerSocket* listener =
        DetailSession() != nullptr ? DetailSession()->Listener().Listener() : nullptr;
    const int port = listener != nullptr ? listener->LocalPort()
                                         : LocalListenerHost::ListenPortForDeviceType(device_->protocol);
    return platform::TextCodec::WideToUtf8(LocalListenerHost::ListenAddress(installation_)) + ":" +
           std::to_string(port);
}
