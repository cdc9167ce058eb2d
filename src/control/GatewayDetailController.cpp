#include "control/GatewayDetailController.h"

#include "cloud/CNodeDevice.h"
#include "cloud/CNodeGateway.h"
#include "control/DeviceTableHost.h"
#include "control/GatewayQuery.h"
#include "control/Session.h"
#include "mqtt-c/MessagePublisher.h"
#include "mqtt-c/VpnInfoRecord.h"
#include "platform/MessageBox.h"
#include "platform/WindowMessages.h"
#include "tunnel/CDataTunnel.h"
#include "tunnel/CNetPfLocalDataTunnel.h"
#include "tunnel/PortForwardListener.h"
#include "tunnel/TunnelHost.h"

#include <cjson/cJSON.h>

GatewayDetailController::GatewayDetailController(Session& session, const TunnelServices& services)
    : session_(session), services_(services), channel_(*this), devices_(*this, channel_, activeTunnels_)
{
    // After a broker outage the far side may have freed this PC's devices (its last
    // will): every open tunnel takes its device again.
    services_.publisher->SetReconnectedHandler([this] {
        for (CDataTunnel* tunnel : activeTunnels_.Snapshot()) {
            if (activeTunnels_.Contains(tunnel)) {
                tunnel->OnBrokerBack();
            }
        }
    });
}

GatewayDetailController::~GatewayDetailController()
{
    if (tips_ != nullptr) {
        tips_->Close();
    }
    services_.publisher->SetReconnectedHandler(nullptr);
    if (services_.publisher->TargetWindow() == this) {
        services_.publisher->SetTargetWindow(nullptr);
    }
    // The tunnels report to this window and to the tunnel host: they go here, while
    // the lists and flows that point at them are still whole, not after them.
    ReleaseTunnels();
}

void GatewayDetailController::ReleaseTunnels()
{
    tunnels_.Clear();
}

platform::LResult GatewayDetailController::WindowProc(platform::MsgCode msg, platform::WParam wParam,
                                                      platform::LParam lParam)
{
    switch (msg) {
    case WM_VPN_CHANNEL_REPLY:
        channel_.Reply(reinterpret_cast<const VpnInfoRecord*>(wParam));
        return 0;
    case WM_VPN_CHANNEL_ENDED:
        channel_.Ended(reinterpret_cast<const VpnInfoRecord*>(wParam));
        return 0;
    case WM_GATEWAY_STATUS:
        channel_.GatewayStatus(reinterpret_cast<const CNodeGateway*>(wParam));
        return 0;
    case WM_VPN_LINK_UP:
    case WM_VPN_LINK_DOWN:
        channel_.LinkReport(msg == WM_VPN_LINK_UP);
        return 0;
    case WM_SERIAL_TUNNEL_READY:
        devices_.SerialReady(reinterpret_cast<const char*>(wParam), static_cast<int>(lParam));
        return 0;
    case WM_TUNNEL_REPLY:
        // From the broker (cmdId 3010): a reply of no tunnel. The tunnels' own
        // replies come through OnTunnelReply.
        devices_.Reply(nullptr, reinterpret_cast<const cJSON*>(lParam));
        return 0;
    case WM_REQUEST_TIMEOUT:
        // The waiting dialogs carry no record: the device waited for is kept here.
        tips_ = nullptr; // the dialog closes itself
        devices_.RequestTimeout(tipsDevice_);
        return 0;
    case WM_TUNNEL_MESSAGE:
        return activeTunnels_.Route(reinterpret_cast<cJSON*>(wParam), lParam);
    default:
        return 0;
    }
}

// --- Operations of the main window. ---

void GatewayDetailController::SetGateway(CNodeGateway* gateway)
{
    displayed_ = gateway;
    if (gateway == nullptr) {
        Repaint();
        return;
    }
    const CNodeGateway* channel = channel_.Gateway();
    if (channel != nullptr && channel != gateway && channel->gwSn == gateway->gwSn) {
        gateway->lanIp = channel->lanIp;
        gateway->csq = channel->csq;
        gateway->lanMask = channel->lanMask;
        gateway->vpnPort = channel->vpnPort;
        gateway->linkUp = channel->linkUp;
    }
    if (gateway->devices.empty() && session_.Account() != nullptr) {
        CDeviceListReply reply = GatewayQuery(session_).Devices(gateway->gwSn);
        gateway->devices = std::move(reply.devices);
    }
    // A later list (a search, the full list again) made new records: the tunnels
    // still open on the earlier records of this gateway's devices go to the new
    // ones, so their rows show them and can close them.
    tunnels_.AdoptTunnels(gateway);
    if (tableHost_ != nullptr) {
        tableHost_->ShowDeviceList(gateway->devices);
    }
    Repaint();
}

void GatewayDetailController::LockSwitch(bool locked)
{
    channel_.SetSwitchLocked(locked);
    Repaint();
}

// --- TunnelObserver. ---

void GatewayDetailController::OnTunnelClosed(CDataTunnel& tunnel)
{
    activeTunnels_.Remove(&tunnel);
    Listener().DetailChanged();
}

void GatewayDetailController::OnTunnelReply(CDataTunnel& tunnel, const cJSON* reply)
{
    devices_.Reply(&tunnel, reply);
}

void GatewayDetailController::OnTunnelLink(CDataTunnel& tunnel, bool up)
{
    Repaint();
    if (tunnel.GetDevice() != nullptr) {
        Listener().DeviceLinkChanged(tunnel.GetDevice(), up);
    }
}

void GatewayDetailController::OnTunnelEnded(CDataTunnel& tunnel, const char* text)
{
    devices_.Ended(&tunnel, QString::fromUtf8(text));
}

// --- Helpers. ---

void GatewayDetailController::ShowTips(const QString& text, bool closable, bool timed, CNodeDevice* device)
{
    platform::TipsDialog dialog(closable, timed, this);
    dialog.SetText(text, this, 0);
    dialog.SetTimeout(tipsTimeoutMs_);
    // A dialog shown meanwhile (the previous one is closed first) waits for its own
    // device; this one's is back when it returns.
    CNodeDevice* const outer = tipsDevice_;
    tipsDevice_ = device;
    tips_ = &dialog;
    dialog.DoModal();
    tipsDevice_ = outer;
    if (tips_ == &dialog) {
        tips_ = nullptr;
    }
}

void GatewayDetailController::CloseTipsDialog()
{
    if (tips_ != nullptr) {
        tips_->Close();
        tips_ = nullptr;
    }
}

void GatewayDetailController::CloseTipsDialogOf(const CNodeDevice* device)
{
    if (tips_ != nullptr && tipsDevice_ == device) {
        CloseTipsDialog();
    }
}

void GatewayDetailController::Show(const QString& text)
{
    platform::ShowMessageBox(this, text, QString::fromUtf8(platform::kDefaultMessageBoxCaption),
                             platform::kMbOk);
}

void GatewayDetailController::Repaint()
{
    // The switch follows the data whenever the view is drawn.
    channel_.FollowData(displayed_);
    Listener().DetailChanged();
}

bool GatewayDetailController::LinkUp() const
{
    return displayed_ != nullptr && displayed_->linkUp != 0;
}

std::vector<GatewayDetailController::DeviceRow> GatewayDetailController::DeviceRows() const
{
    std::vector<DeviceRow> rows;
    if (displayed_ == nullptr) {
        return rows;
    }
    for (const std::unique_ptr<CNodeDevice>& device : displayed_->devices) {
        if (device == nullptr) {
            continue;
        }
        DeviceRow row;
        row.device = device.get();
        row.id = device->id;
        row.name = device->deviceName;
        row.interfaceName = device->ifaceTypeName;
        row.address = ConnectAddress(device.get());
        const CDataTunnel* tunnel = DeviceTunnel(device.get());
        row.linkLost = tunnel != nullptr && tunnel->LinkLost();
        row.online = device->online != 0;
        row.hasButton = device->IsTunnelCapable();
        row.on = device->tunnelOpen != 0;
        rows.push_back(row);
    }
    return rows;
}

QString GatewayDetailController::ConnectAddress(const CNodeDevice* device) const
{
    if (device == nullptr) {
        return QString();
    }
    const auto* portForward = dynamic_cast<const CNetPfLocalDataTunnel*>(DeviceTunnel(device));
    PortForwardListener* listener = services_.host != nullptr ? services_.host->PortListener() : nullptr;
    if (portForward != nullptr && listener != nullptr && device->tunnelOpen != 0) {
        const std::string where = listener->Where(*portForward);
        if (!where.empty()) {
            return QString::fromStdString(where);
        }
    }
    return device->AddressText();
}

GatewayDetailListener& GatewayDetailController::Listener()
{
    return listener_ != nullptr ? *listener_ : silent_;
}
