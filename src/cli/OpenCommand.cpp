#include "OpenCommand.h"

#include "CliConsole.h"
#include "CliDetailSession.h"
#include "CliEventLoop.h"
#include "CliSignIn.h"
#include "cloud/CNodeDevice.h"
#include "cloud/CNodeGateway.h"
#include "cloud/VirtualComPair.h"
#include "platform/ComPortNames.h"
#include "platform/TextCodec.h"
#include "tunnel/CComDataTunnel.h"
#include "tunnel/CNetPfLocalDataTunnel.h"

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
    const char* needed = "a gateway serial number GWSN and a device serial DEVSN are needed";
    if (!CliSignIn::ParseCommandLine(args_, words, -1, needed)) {
        return false;
    }
    const std::vector<std::string>& positional = args_.Positional();
    if (positional.size() < 2) {
        CliConsole::Error(needed);
        return false;
    }
    for (const std::string& word : positional) {
        if (word.empty()) {
            CliConsole::Error(needed);
            return false;
        }
    }
    gwSn_ = positional[0];
    for (size_t i = 1; i < positional.size(); ++i) {
        for (const Opening& earlier : devices_) {
            if (earlier.devSn == positional[i]) {
                CliConsole::Error("device " + positional[i] + " is given twice");
                return false;
            }
        }
        Opening opening;
        opening.devSn = positional[i];
        devices_.push_back(opening);
    }
    return true;
}

OpenCommand::Opening* OpenCommand::Find(const CNodeDevice* device)
{
    if (device == nullptr) {
        return nullptr;
    }
    for (Opening& opening : devices_) {
        if (opening.device == device) {
            return &opening;
        }
    }
    return nullptr;
}

int OpenCommand::Execute(Session& session)
{
    std::unique_ptr<CNodeGateway> gateway;
    const int loaded = LoadGateway(session, gwSn_, &gateway);
    if (loaded != kExitOk) {
        return loaded;
    }
    for (Opening& opening : devices_) {
        int row = 0;
        for (const std::unique_ptr<CNodeDevice>& device : gateway->devices) {
            if (device != nullptr && platform::TextCodec::WideToUtf8(device->deviceSn) == opening.devSn) {
                opening.device = device.get();
                opening.row = row;
                break;
            }
            ++row;
        }
        CNodeDevice* device = opening.device;
        if (device == nullptr || !device->IsTunnelCapable()) {
            CliConsole::Error(device == nullptr
                                  ? "gateway " + gwSn_ + " has no device " + opening.devSn
                                  : "device " + opening.devSn + " offers no tunnel (tunnel type " +
                                        std::to_string(device->tunType) + ")");
            return kExitFailed;
        }
    }

    CNodeGateway* shown = gateway.get();
    return RunSession(
        session,
        [this](CliEventLoop& loop, CliDetailSession& detail) {
            detail.OnRowReset([this](int) { CloseAllAndFinish(kExitFailed); });
            GatewayDetailController* controller = &detail.Controller();
            loop.OnStopSignal([this, controller](int) {
                closing_ = true;
                controller->CloseTipsDialog();
                CloseAllAndFinish(ready_ ? kExitOk : kExitFailed);
            });
        },
        [this, shown] {
            DetailSession()->Controller().SetGateway(shown);
            OpenNext();
        });
}

void OpenCommand::OpenNext()
{
    if (Finishing() || closing_ || next_ >= devices_.size() || DetailSession() == nullptr) {
        return;
    }
    Opening& opening = devices_[next_];
    // As the device table does: remember the row, mark the row on, ask.
    opening.device->rowIndex = opening.row;
    opening.device->tunnelOpen = 1;
    DetailSession()->Controller().OpenRequest(opening.device);
}

void OpenCommand::CloseAllAndFinish(int exitCode)
{
    if (DetailSession() != nullptr) {
        for (const Opening& opening : devices_) {
            if (opening.device != nullptr && opening.device->tunnelOpen != 0) {
                DetailSession()->Controller().CloseRequest(opening.device);
            }
        }
    }
    Finish(exitCode);
}

void OpenCommand::DetailChanged()
{
    if (DetailSession() == nullptr || !ready_ || closing_ || Finishing()) {
        return;
    }
    // The far end closed a tunnel that was ready: close them here too and give up.
    // (A tunnel that ended itself has its row off already and its text shown.)
    for (const Opening& opening : devices_) {
        const CDataTunnel* tunnel = DetailSession()->Controller().DeviceTunnel(opening.device);
        if (tunnel != nullptr && opening.device->tunnelOpen != 0 &&
            !DetailSession()->Controller().IsActive(tunnel)) {
            CliConsole::Error("the far end closed the tunnel");
            ready_ = false;
            // Not inside the tunnel's own message handling: close afterwards.
            QTimer::singleShot(0, [this] { CloseAllAndFinish(kExitFailed); });
            return;
        }
    }
}

void OpenCommand::DeviceOpened(CNodeDevice* device)
{
    Opening* opening = Find(device);
    if (opening == nullptr || opening->ready || Finishing() || next_ >= devices_.size() ||
        &devices_[next_] != opening) {
        return;
    }
    opening->ready = true;
    CliConsole::Out("ready: " + ReadyPlace(device));
    if (next_ == 0 && args_.Has("--stats")) {
        // The ready tunnels, in the order given.
        stats_.Start([this]() -> std::vector<const CDataTunnel*> {
            std::vector<const CDataTunnel*> tunnels;
            if (closing_ || Finishing() || DetailSession() == nullptr) {
                return tunnels;
            }
            for (const Opening& ready : devices_) {
                const CDataTunnel* tunnel = DetailSession()->Controller().DeviceTunnel(ready.device);
                if (ready.ready && tunnel != nullptr) {
                    tunnels.push_back(tunnel);
                }
            }
            return tunnels;
        });
    }
    ++next_;
    if (next_ == devices_.size()) {
        ready_ = true;
        return;
    }
    // Not inside the opened tunnel's own message handling: the next one afterwards.
    QTimer::singleShot(0, [this] { OpenNext(); });
}

void OpenCommand::DeviceLinkChanged(CNodeDevice* device, bool up)
{
    const Opening* opening = Find(device);
    if (opening != nullptr && opening->ready && !closing_ && !Finishing()) {
        std::string line = up ? "link: back" : "link: lost";
        if (devices_.size() > 1) {
            line += " " + opening->devSn;
        }
        CliConsole::Out(line);
    }
}

void OpenCommand::DeviceOpenFailed(CNodeDevice* device)
{
    const Opening* opening = Find(device);
    if (opening != nullptr && !opening->ready) {
        CloseAllAndFinish(kExitFailed);
    }
}

void OpenCommand::RequestTimedOut(CNodeDevice* /*device*/)
{
    if (!ready_) {
        CloseAllAndFinish(kExitFailed);
    }
}

std::string OpenCommand::ReadyPlace(const CNodeDevice* device) const
{
    const CDataTunnel* tunnel =
        DetailSession() != nullptr ? DetailSession()->Controller().DeviceTunnel(device) : nullptr;
    if (auto* serial = dynamic_cast<const CComDataTunnel*>(tunnel)) {
        const _virtual_com_half* user = serial->GetUserHalf();
        return user != nullptr ? platform::ResolveComPortName("COM" + std::to_string(user->com))
                               : std::string("-");
    }
    const auto* portForward = dynamic_cast<const CNetPfLocalDataTunnel*>(tunnel);
    const std::string where = portForward != nullptr && DetailSession() != nullptr
                                  ? DetailSession()->Listener().Where(*portForward)
                                  : "";
    if (!where.empty()) {
        return where;
    }
    return platform::TextCodec::WideToUtf8(LocalListenerHost::ListenAddress(installation_)) + ":" +
           std::to_string(LocalListenerHost::ListenPortForDeviceType(device->protocol));
}
