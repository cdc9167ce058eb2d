#include "control/GatewayDetailController.h"

#include "app/InputRules.h"
#include "cloud/CCloudClient.h"
#include "cloud/CNodeDevice.h"
#include "cloud/CNodeGateway.h"
#include "cloud/CurrentAccount.h"
#include "control/GatewayDetailListener.h"
#include "endpoint/CVpnStatusSocket.h"
#include "endpoint/VpnClientControl.h"
#include "mqtt-c/MessagePublisher.h"
#include "mqtt-c/VpnInfoRecord.h"
#include "platform/MessageBox.h"
#include "platform/TextCodec.h"
#include "platform/WindowMessages.h"
#include "tunnel/CComDataTunnel.h"
#include "tunnel/CDataTunnel.h"
#include "tunnel/CVPNDataTunnel.h"
#include "tunnel/TunnelFactory.h"
#include "tunnel/TunnelJson.h"

#include <QTimer>

#include <cjson/cJSON.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

QString Text(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

void CopySerial(char* target, size_t size, const std::string& text)
{
    std::memset(target, 0, size);
    std::strncpy(target, text.c_str(), size - 1);
}

// The text a refused open reply shows, chosen by its "encode".
QString RefusalText(const cJSON* reply)
{
    const cJSON* msgItem = cJSON_GetObjectItem(reply, "msg");
    const std::string msg =
        cJSON_IsString(msgItem) && msgItem->valuestring != nullptr ? msgItem->valuestring : "";
    const cJSON* encode = cJSON_GetObjectItem(reply, "encode");
    if (encode == nullptr) {
        return TextCodec::Utf8ToWide(msg);
    }
    if (cJSON_IsString(encode) && encode->valuestring != nullptr &&
        std::strcmp(encode->valuestring, "ascii") == 0) {
        return TextCodec::LegacyToWide(msg);
    }
    return Text(GatewayDetailController::kTextOpenFailed);
}

} // namespace

std::recursive_mutex& GatewayDetailController::HandledOpenLock()
{
    static std::recursive_mutex lock;
    return lock;
}

GatewayDetailController::GatewayDetailController(const TunnelServices& services)
    : services_(services), channel_(*this)
{
}

GatewayDetailController::~GatewayDetailController()
{
    if (tips_ != nullptr) {
        tips_->Close();
    }
    if (services_.publisher->TargetWindow() == this) {
        services_.publisher->SetTargetWindow(nullptr);
    }
    std::lock_guard<std::recursive_mutex> guard(HandledOpenLock());
    for (_link_node* node : handledOpens_) {
        std::free(node);
    }
}

LResult GatewayDetailController::WindowProc(MsgCode msg, WParam wParam, LParam lParam)
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
    case WM_DEVICE_TUNNEL_START:
    case WM_DEVICE_TUNNEL_STOP:
        StartStopDevice(msg == WM_DEVICE_TUNNEL_START, reinterpret_cast<CNodeDevice*>(wParam));
        return 0;
    case WM_SERIAL_TUNNEL_READY:
        SerialReady(reinterpret_cast<const char*>(wParam), static_cast<int>(lParam));
        return 0;
    case WM_TUNNEL_REPLY:
        TunnelReply(reinterpret_cast<CDataTunnel*>(wParam), reinterpret_cast<const void*>(lParam));
        return 0;
    case WM_DEVICE_OPEN_REQUEST:
        OpenRequest(reinterpret_cast<CNodeDevice*>(wParam));
        return 0;
    case WM_DEVICE_CLOSE_REQUEST:
        CloseRequest(reinterpret_cast<CNodeDevice*>(wParam));
        return 0;
    case WM_REQUEST_TIMEOUT:
        // The waiting dialogs carry no record: the device waited for is kept here.
        RequestTimeout(tipsDevice_);
        return 0;
    case WM_TUNNEL_OPENED:
        activeTunnels_.Add(reinterpret_cast<CDataTunnel*>(wParam));
        return 0;
    case WM_TUNNEL_MESSAGE:
        return activeTunnels_.Route(reinterpret_cast<cJSON*>(wParam), lParam);
    case WM_TUNNEL_CLOSED:
        TunnelClosed(reinterpret_cast<CDataTunnel*>(wParam));
        return 0;
    default: // WM_DETAIL_UNUSED and everything else
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
    const CAccountInfo* account = GetCurrentAccount();
    if (gateway->devices.empty() && account != nullptr) {
        CCloudClient client;
        CDeviceListReply reply =
            client.QueryDeviceByGw(account->orgId, gateway->gwSn.c_str(), account->accountsId);
        gateway->devices = reply.devices;
        reply.devices.clear();
    }
    SendWindowMessage(mainWindow_, WM_DEVICE_LIST, reinterpret_cast<WParam>(&gateway->devices), 0);
    Repaint();
}

void GatewayDetailController::LockSwitch(bool locked)
{
    channel_.SetSwitchLocked(locked);
    Repaint();
}

// --- Device tunnels. ---

void GatewayDetailController::OpenRequest(CNodeDevice* device)
{
    if (device == nullptr) {
        return;
    }
    const bool running = activeTunnels_.Any([device](const CDataTunnel& t) {
        return t.GetDevice() != nullptr && t.GetDevice()->tunType == device->tunType;
    });
    if (running) {
        Show(Text(kTextOneTunnelPerType));
        device->tunnelOpen = 0;
        Repaint();
        Listener().DeviceOpenFailed(device);
        return;
    }
    if (device->tunnel == nullptr) {
        CreateTunnelForDevice(services_, this, displayed_, device, tunnelHost_);
    }
    awaitingOpen_ = device;
    StartStopDevice(true, device);
    // The answer comes later from the far side (or at once, when the start itself
    // answered): wait for it with a timed dialog that carries the device, so a
    // silence ends in a time-out for this device's row.
    if (awaitingOpen_ == device && device->tunnel != nullptr && device->tunnelOpen != 0) {
        ShowTips(Text(kTextChannelStarting), false, true, device);
    }
}

void GatewayDetailController::StartStopDevice(bool open, CNodeDevice* device)
{
    if (device == nullptr) {
        return;
    }
    if (open) {
        if (displayed_ == nullptr || !displayed_->IsOnline()) {
            channel_.SetSwitchOn(false);
            awaitingOpen_ = nullptr;
            Show(Text(kTextOffline));
            Listener().DeviceOpenFailed(device);
        } else {
            if (device->tunnel != nullptr) {
                services_.publisher->SetTargetWindow(this);
                // Set before the start: a start that is answered at once (the local
                // listener of a port-forward tunnel) may clear it again.
                device->tunnelOpen = 1;
                device->tunnel->Start();
            }
            displayed_->channelRequested = 1;
            CloseTipsDialog();
        }
        Repaint();
        return;
    }
    channel_.SetSwitchOn(false);
    if (displayed_ != nullptr) {
        displayed_->csq = "-1";
    }
    device->tunnelOpen = 0;
    if (awaitingOpen_ == device) {
        awaitingOpen_ = nullptr;
    }
    Repaint();
    QString text;
    if (device->tunnel != nullptr) {
        device->tunnel->Stop();
        text = device->tunnel->GetText(0);
    }
    Show(text);
    Listener().DeviceClosed(device);
}

void GatewayDetailController::SerialReady(const char* gwSn, int deviceId)
{
    // The notice counts only while a serial tunnel of this PC runs on the gateway shown.
    bool serialRunning = false;
    if (displayed_ != nullptr && gwSn != nullptr && displayed_->gwSn == gwSn) {
        serialRunning = activeTunnels_.Any([this](const CDataTunnel& t) {
            return t.GetGateway() != nullptr && t.GatewaySn() == displayed_->gwSn &&
                   dynamic_cast<const CComDataTunnel*>(&t) != nullptr;
        });
    }
    if (!serialRunning) {
        InputRules::ReportDropped("serial-ready notice (cmdId 1011) for gateway \"" +
                                      InputRules::Excerpt(gwSn != nullptr ? gwSn : "") + "\"",
                                  "no serial tunnel of this PC runs on that gateway");
        return;
    }
    CNodeDevice* device = nullptr;
    if (displayed_ != nullptr) {
        for (CNodeDevice* candidate : displayed_->devices) {
            if (candidate != nullptr && candidate->deviceId == deviceId) {
                device = candidate;
                break;
            }
        }
    }
    if (device == nullptr) {
        Show(Text(kTextNoDevice));
        return;
    }
    if (device->tunnel == nullptr) {
        Show(Text(kTextNoSerialTunnel));
        return;
    }
    auto* serial = dynamic_cast<CComDataTunnel*>(device->tunnel);
    if (serial == nullptr || serial->GetUserHalf() == nullptr) {
        Show(Text(kTextNoComPort));
        return;
    }
    if (serial->GetProgramHalf() == nullptr) {
        Show(Text(kTextNoComPair));
        return;
    }
    channel_.SetGateway(displayed_);
    if (gwSn != nullptr && displayed_->gwSn == gwSn) {
        // Nothing takes records out of the port-start queue.
        portStarts_.Queue(displayed_, device);
    }
    channel_.Gateway()->linkUp = 1;
    if (awaitingOpen_ == device) {
        awaitingOpen_ = nullptr;
    }
    Show(Text(kTextSerialReady));
    Repaint();
    CloseTipsDialog();
    Listener().DeviceOpened(device);
}

void GatewayDetailController::TunnelReply(CDataTunnel* tunnel, const void* replyObject)
{
    const cJSON* reply = static_cast<const cJSON*>(replyObject);
    CloseTipsDialog();
    if (reply == nullptr || !TunnelJsonHas(reply, "flag") || !TunnelJsonHas(reply, "msg") ||
        tunnel == nullptr) {
        return;
    }
    const std::string gwSn = tunnel->GatewaySn();
    const std::string devSn = tunnel->DeviceSn();
    if (IsOpenHandled(gwSn, devSn)) {
        return; // a repeat of a success already shown
    }
    CNodeDevice* device = tunnel->GetDevice();
    if (device != nullptr && awaitingOpen_ == device) {
        awaitingOpen_ = nullptr;
    }
    const QString openedText = tunnel->GetText(1);
    int flag = 0;
    if (!TunnelJsonInt(reply, "flag", &flag)) {
        const cJSON* flagItem = cJSON_GetObjectItem(reply, "flag");
        flag = cJSON_IsString(flagItem) ? std::atoi(flagItem->valuestring) : 0;
    }
    if (flag == 0) {
        if (device != nullptr) {
            device->tunnelOpen = 0;
        }
        Show(RefusalText(reply));
        tunnel->Stop();
        Repaint();
        if (device != nullptr) {
            Listener().DeviceOpenFailed(device);
        }
        return;
    }
    AddHandledOpen(gwSn, devSn);
    tunnel->OnMessage(nullptr, static_cast<int>(TUNNEL_OPEN_ACCEPTED));
    Show(openedText);
    Repaint();
    if (device != nullptr) {
        Listener().DeviceOpened(device);
    }
}

void GatewayDetailController::CloseRequest(CNodeDevice* device)
{
    if (device == nullptr) {
        return;
    }
    if (displayed_ != nullptr) {
        RemoveHandledOpen(displayed_->gwSn, TextCodec::WideToUtf8(device->deviceSn));
    }
    StartStopDevice(false, device);
}

void GatewayDetailController::RequestTimeout(CNodeDevice* device)
{
    tips_ = nullptr; // the dialog closes itself
    int row = -1;
    if (device != nullptr) {
        device->tunnelOpen = 0;
        if (awaitingOpen_ == device) {
            awaitingOpen_ = nullptr;
        }
        if (device->tunnel != nullptr) {
            device->tunnel->OnTimeout();
            device->tunnel->Stop();
        }
        row = device->rowIndex;
    }
    SendWindowMessage(mainWindow_, WM_RESET_ROW_BUTTON, static_cast<WParam>(static_cast<intptr_t>(row)), 0);
    Repaint();
    Listener().RequestTimedOut(device);
}

void GatewayDetailController::TunnelClosed(CDataTunnel* tunnel)
{
    if (tunnel == nullptr) {
        return;
    }
    activeTunnels_.Remove(tunnel);
    Listener().DetailChanged();
}

// --- Helpers. ---

void GatewayDetailController::ShowTips(const QString& text, bool closable, bool timed, CNodeDevice* device)
{
    TipsDialog dialog(closable, timed, this);
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

void GatewayDetailController::Show(const QString& text)
{
    ShowMessageBox(this, text, Text(kDefaultMessageBoxCaption), kMbOk);
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
    for (CNodeDevice* device : displayed_->devices) {
        if (device == nullptr) {
            continue;
        }
        DeviceRow row;
        row.device = device;
        row.id = device->id;
        row.name = device->deviceName;
        row.interfaceName = device->ifaceTypeName;
        row.address = device->AddressText();
        row.online = device->online != 0;
        row.hasButton = device->IsTunnelCapable();
        row.on = device->tunnelOpen != 0;
        rows.push_back(row);
    }
    return rows;
}

bool GatewayDetailController::IsOpenHandled(const std::string& gwSn, const std::string& devSn) const
{
    _link_node key;
    CopySerial(key.gwSn, sizeof(key.gwSn), gwSn);
    CopySerial(key.devSn, sizeof(key.devSn), devSn);
    std::lock_guard<std::recursive_mutex> guard(HandledOpenLock());
    return std::any_of(handledOpens_.begin(), handledOpens_.end(), [&](const _link_node* node) {
        return std::strcmp(node->gwSn, key.gwSn) == 0 && std::strcmp(node->devSn, key.devSn) == 0;
    });
}

void GatewayDetailController::AddHandledOpen(const std::string& gwSn, const std::string& devSn)
{
    auto* node = static_cast<_link_node*>(std::malloc(sizeof(_link_node)));
    if (node == nullptr) {
        return;
    }
    CopySerial(node->gwSn, sizeof(node->gwSn), gwSn);
    CopySerial(node->devSn, sizeof(node->devSn), devSn);
    std::lock_guard<std::recursive_mutex> guard(HandledOpenLock());
    handledOpens_.push_back(node);
}

void GatewayDetailController::RemoveHandledOpen(const std::string& gwSn, const std::string& devSn)
{
    _link_node key;
    CopySerial(key.gwSn, sizeof(key.gwSn), gwSn);
    CopySerial(key.devSn, sizeof(key.devSn), devSn);
    std::lock_guard<std::recursive_mutex> guard(HandledOpenLock());
    for (auto it = handledOpens_.begin(); it != handledOpens_.end(); ++it) {
        if (std::strcmp((*it)->gwSn, key.gwSn) == 0 && std::strcmp((*it)->devSn, key.devSn) == 0) {
            std::free(*it);
            handledOpens_.erase(it);
            return;
        }
    }
}

GatewayDetailListener& GatewayDetailController::Listener()
{
    return listener_ != nullptr ? *listener_ : silent_;
}
