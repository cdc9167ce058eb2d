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
#include "platform/WindowMessages.h"
#include "tunnel/CComDataTunnel.h"

#include <QTimer>

#include <memory>

bool OpenCommand::Parse(const std::vector<std::string>& words)
{
    if (!CliSignIn::ParseCommandLine(m_args, words, 2,
                                     "a gateway serial number GWSN and a device serial DEVSN are needed")) {
        return false;
    }
    const std::vector<std::string>& positional = m_args.Positional();
    m_gwSn = positional[0];
    m_devSn = positional[1];
    return true;
}

int OpenCommand::Execute()
{
    std::unique_ptr<CNodeGateway> gateway;
    const int loaded = LoadGateway(m_gwSn, &gateway);
    if (loaded != kExitOk) {
        return loaded;
    }
    int row = 0;
    for (CNodeDevice* device : gateway->devices) {
        if (device != nullptr && TextCodec::WideToUtf8(device->deviceSn) == m_devSn) {
            m_device = device;
            break;
        }
        ++row;
    }
    if (m_device == nullptr || !m_device->IsTunnelCapable()) {
        CliConsole::Error(m_device == nullptr ? "gateway " + m_gwSn + " has no device " + m_devSn
                                              : "device " + m_devSn + " offers no tunnel (tunnel type " +
                                                    std::to_string(m_device->tunType) + ")");
        CliDetailSession::ReleaseGateway(gateway.get());
        return kExitFailed;
    }

    CNodeGateway* shown = gateway.get();
    return RunSession(
        gateway,
        [this](CliEventLoop& loop, CliDetailSession& session) {
            session.OnRowReset([this](int) { Finish(kExitFailed); });
            GatewayDetailController* controller = &session.Controller();
            loop.OnStopSignal([this, controller](int) {
                m_closing = true;
                controller->CloseTipsDialog();
                if (m_device->tunnelOpen != 0) {
                    SendMessage(controller, WM_DEVICE_CLOSE_REQUEST, reinterpret_cast<WPARAM>(m_device), 0);
                }
                Finish(m_ready ? kExitOk : kExitFailed);
            });
        },
        [this, shown, row] {
            GatewayDetailController& controller = Session()->Controller();
            controller.SetGateway(shown);
            // As the device table does: remember the row, mark the row on, ask.
            m_device->rowIndex = row;
            m_device->tunnelOpen = 1;
            SendMessage(&controller, WM_DEVICE_OPEN_REQUEST, reinterpret_cast<WPARAM>(m_device), 0);
        });
}

void OpenCommand::DetailChanged()
{
    // The far end closed a tunnel that was ready: close it here too and give up.
    if (m_ready && !m_closing && !Finishing() && Session() != nullptr && m_device->tunnel != nullptr &&
        !Session()->Controller().IsActive(m_device->tunnel)) {
        CliConsole::Error("the far end closed the tunnel");
        m_ready = false;
        // Not inside the tunnel's own message handling: close afterwards.
        QTimer::singleShot(0, [this] {
            if (Session() != nullptr && m_device->tunnelOpen != 0) {
                SendMessage(&Session()->Controller(), WM_DEVICE_CLOSE_REQUEST,
                            reinterpret_cast<WPARAM>(m_device), 0);
            }
            Finish(kExitFailed);
        });
    }
}

void OpenCommand::DeviceOpened(CNodeDevice* device)
{
    if (device != m_device || m_ready || Finishing()) {
        return;
    }
    m_ready = true;
    CliConsole::Out("ready: " + ReadyPlace());
}

void OpenCommand::DeviceOpenFailed(CNodeDevice* device)
{
    if (device == m_device && !m_ready) {
        Finish(kExitFailed);
    }
}

void OpenCommand::RequestTimedOut(CNodeDevice* /*device*/)
{
    if (!m_ready) {
        Finish(kExitFailed);
    }
}

std::string OpenCommand::ReadyPlace() const
{
    if (auto* serial = dynamic_cast<CComDataTunnel*>(m_device->tunnel)) {
        const _virtual_com_half* user = serial->GetUserHalf();
        return user != nullptr ? ResolveComPortName("COM" + std::to_string(user->com)) : std::string("-");
    }
    const CServerSocket* listener = Session() != nullptr ? Session()->Listener().Listener() : nullptr;
    const int port = listener != nullptr ? listener->LocalPort()
                                         : LocalListenerHost::ListenPortForDeviceType(m_device->protocol);
    return TextCodec::WideToUtf8(LocalListenerHost::ListenAddress()) + ":" + std::to_string(port);
}
