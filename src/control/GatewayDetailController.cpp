#include "control/GatewayDetailController.h"

#include "app/InputRules.h"
#include "cloud/CCloudClient.h"
#include "cloud/CNodeDevice.h"
#include "cloud/CNodeGateway.h"
#include "cloud/CurrentAccount.h"
#include "control/GatewayDetailListener.h"
#include "endpoint/CVpnStatusSocket.h"
#include "endpoint/VpnClientControl.h"
#include "mqtt-c/VpnInfoRecord.h"
#include "mqtt-c/mosquitto_wrapper.h"
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

std::recursive_mutex& GatewayDetailController::ChannelGatewayLock()
{
    static std::recursive_mutex lock;
    return lock;
}

GatewayDetailController::GatewayDetailController()
{
    SetVpnClientCalls(nullptr, nullptr);
}

GatewayDetailController::~GatewayDetailController()
{
    if (tips_ != nullptr) {
        tips_->Close();
    }
    delete managementRetry_;
    if (mqtt_target_window() == this) {
        mqtt_set_target_window(nullptr);
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
        ChannelReply(reinterpret_cast<const void*>(wParam));
        return 0;
    case WM_VPN_CHANNEL_ENDED:
        ChannelEnded(reinterpret_cast<const void*>(wParam));
        return 0;
    case WM_GATEWAY_STATUS:
        GatewayStatus(reinterpret_cast<const CNodeGateway*>(wParam));
        return 0;
    case WM_VPN_LINK_UP:
    case WM_VPN_LINK_DOWN:
        LinkReport(msg == WM_VPN_LINK_UP);
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
        RequestTimeout(reinterpret_cast<CNodeDevice*>(wParam));
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

void GatewayDetailController::SetVpnClientCalls(std::function<bool()> start, std::function<void()> stop)
{
    startVpnClient_ = start ? std::move(start) : [] { return StartVpnClient(); };
    stopVpnClients_ = stop ? std::move(stop) : [] { StopVpnClients(); };
}

// --- Operations of the main window. ---

void GatewayDetailController::SetGateway(CNodeGateway* gateway)
{
    displayed_ = gateway;
    if (gateway == nullptr) {
        Repaint();
        return;
    }
    if (channelGateway_ != nullptr && channelGateway_ != gateway && channelGateway_->gwSn == gateway->gwSn) {
        gateway->lanIp = channelGateway_->lanIp;
        gateway->csq = channelGateway_->csq;
        gateway->lanMask = channelGateway_->lanMask;
        gateway->vpnPort = channelGateway_->vpnPort;
        gateway->linkUp = channelGateway_->linkUp;
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
    switchLocked_ = locked;
    Repaint();
}

// --- Maintenance channel. ---

void GatewayDetailController::ChannelSwitchClicked()
{
    if (switchLocked_ || displayed_ == nullptr) {
        return;
    }
    const bool open = displayed_->channelActive == 0;
    if (channelGateway_ != nullptr && channelGateway_->gwSn != displayed_->gwSn) {
        const QString question = QString::fromStdString(channelGateway_->gwSn) + Text(kTextCloseOtherChannel);
        if (ShowMessageBox(this, question, QString(), kMbYesNo) != kIdYes) {
            switchOn_ = false;
            Repaint();
            if (listener_ != nullptr) {
                listener_->ChannelRefused();
            }
            return;
        }
        channelGateway_->channelRequested = 0;
        pendingChannelRequests_.erase(channelGateway_->gwSn);
    }
    if (open) {
        OpenChannel();
    } else {
        CloseChannel();
    }
    Repaint();
}

void GatewayDetailController::OpenChannel()
{
    CNodeGateway* gateway = displayed_;
    if (!gateway->IsOnline()) {
        switchOn_ = false;
        Show(Text(kTextOffline));
        if (listener_ != nullptr) {
            listener_->ChannelRefused();
        }
        return;
    }
    if (gateway->vpnTunnel == nullptr) {
        gateway->vpnTunnel = new CVPNDataTunnel(gateway);
    }
    {
        std::lock_guard<std::recursive_mutex> guard(ChannelGatewayLock());
        const bool listed =
            std::any_of(channelGateways_.begin(), channelGateways_.end(),
                        [gateway](const CNodeGateway* g) { return g->gwSn == gateway->gwSn; });
        if (!listed) {
            channelGateways_.push_back(gateway);
        }
    }
    mqtt_set_target_window(this);
    gateway->vpnTunnel->Start();
    // The reply that grants or refuses this request is taken once.
    pendingChannelRequests_.insert(gateway->gwSn);
    gateway->channelRequested = 1;
    CloseTipsDialog();
    ShowTips(Text(kTextChannelStarting), false, true, 0);
}

void GatewayDetailController::CloseChannel()
{
    CNodeGateway* gateway = displayed_;
    switchOn_ = false;
    stopVpnClients_();
    gateway->csq = "-1";
    gateway->linkUp = 0;
    Repaint();
    gateway->channelRequested = 0;
    pendingChannelRequests_.erase(gateway->gwSn);
    if (gateway->vpnTunnel != nullptr) {
        gateway->vpnTunnel->Stop();
    }
    RemoveChannelGateway(gateway->gwSn);
    Show(Text(kTextChannelClosed));
    if (listener_ != nullptr) {
        listener_->ChannelClosed();
    }
}

void GatewayDetailController::ChannelReply(const void* record)
{
    const VpnInfoRecord* info = static_cast<const VpnInfoRecord*>(record);
    if (info == nullptr) {
        return;
    }
    const std::string what =
        "channel reply (cmdId 100) for gateway \"" + InputRules::Excerpt(info->gwSn) + "\"";
    // Only the answer to a channel request of this PC that is still waiting counts:
    // anybody on the broker can publish to this PC's topic.
    CNodeGateway* gateway = FindChannelGateway(info->gwSn);
    if (gateway == nullptr || gateway->vpnTunnel == nullptr ||
        pendingChannelRequests_.count(info->gwSn) == 0) {
        InputRules::ReportDropped(what, "no channel request of this PC waits for it");
        return;
    }
    // A grant becomes the VPN client's files and command: nothing that could add a
    // line or an option to them is taken, and the request keeps waiting.
    std::string why;
    if (info->busiCode == 0 && !info->CheckGrant(&why)) {
        InputRules::ReportDropped(what, why);
        return;
    }
    pendingChannelRequests_.erase(info->gwSn);
    CloseTipsDialog();
    if (info->busiCode == 0) {
        gateway->vpnTunnel->OnVpnInfo(info);
        switchOn_ = true;
        startVpnClient_();
        channelGateway_ = displayed_ != nullptr ? displayed_ : gateway;
        channelGateway_->channelActive = 1;
        managementSocket_.reset(new CVpnStatusSocket);
        managementAttemptsLeft_ = kManagementAttempts;
        ConnectManagementSocket();
        Repaint();
        if (listener_ != nullptr) {
            listener_->ChannelOpened();
        }
        return;
    }
    // "busiCode" 1 says the channel is in use; any other value is shown as the
    // service's plain answer and starts nothing.
    if (listener_ != nullptr) {
        listener_->ChannelRefused();
    }
    ShowTips(Text(info->busiCode == 1 ? kTextChannelInUse : kTextChannelOtherBusiCode), true, false, 0);
}

void GatewayDetailController::ConnectManagementSocket()
{
    if (managementSocket_ == nullptr) {
        return;
    }
    // A refused attempt leaves a used socket behind: every attempt starts afresh.
    managementSocket_.reset(new CVpnStatusSocket);
    CVpnStatusSocket* socket = managementSocket_.get();
    if (socket->Create() && socket->Connect(QString::fromUtf8(kVpnManagementHost), kVpnManagementPort)) {
        socket->StartReports(this);
        return;
    }
    // The client opens its management port a moment after it starts: try again
    // while the channel is still the one this socket was made for.
    if (--managementAttemptsLeft_ <= 0) {
        return;
    }
    if (managementRetry_ == nullptr) {
        managementRetry_ = new QTimer;
        managementRetry_->setSingleShot(true);
        QObject::connect(managementRetry_, &QTimer::timeout, [this] {
            if (channelGateway_ != nullptr && channelGateway_->channelActive != 0) {
                ConnectManagementSocket();
            }
        });
    }
    managementRetry_->start(kManagementRetryMs);
}

void GatewayDetailController::ChannelEnded(const void* record)
{
    const VpnInfoRecord* info = static_cast<const VpnInfoRecord*>(record);
    // Only the gateway whose channel this PC holds (or is closing) can end it.
    if (info == nullptr || channelGateway_ == nullptr || info->gwSn != channelGateway_->gwSn) {
        if (info != nullptr) {
            InputRules::ReportDropped("channel-ended reply (cmdId 100) for gateway \"" +
                                          InputRules::Excerpt(info->gwSn) + "\"",
                                      "this PC holds no channel of that gateway");
        }
        return;
    }
    if (channelGateway_->channelRequested != 0) {
        Show(Text(kTextChannelEnded));
    }
    channelGateway_->linkUp = 0;
    channelGateway_->channelActive = 0;
    Repaint();
    switchOn_ = false;
    channelGateway_ = nullptr;
    if (managementRetry_ != nullptr) {
        managementRetry_->stop();
    }
    Repaint();
    if (listener_ != nullptr) {
        listener_->ChannelClosed();
    }
}

void GatewayDetailController::GatewayStatus(const CNodeGateway* report)
{
    if (report == nullptr) {
        return;
    }
    const std::string what =
        "gateway state report (cmdId 98) for gateway \"" + InputRules::Excerpt(report->gwSn) + "\"";
    // Reports count only for the gateway whose channel this PC holds; their texts are
    // shown and sent back in the LAN switch-on.
    if (channelGateway_ == nullptr || channelGateway_->channelActive == 0 ||
        report->gwSn != channelGateway_->gwSn) {
        InputRules::ReportDropped(what, "this PC holds no channel of that gateway");
        return;
    }
    for (const std::string* text : {&report->lanIp, &report->lanMask, &report->csq}) {
        if (!InputRules::IsStatusText(*text)) {
            InputRules::ReportDropped(what,
                                      "\"" + InputRules::Excerpt(*text) + "\" is not a short line of text");
            return;
        }
    }
    CNodeGateway* gateway = FindChannelGateway(report->gwSn);
    if (gateway == nullptr || gateway->vpnTunnel == nullptr || report->stateFlag == 0 ||
        displayed_ == nullptr || report->gwSn != displayed_->gwSn) {
        return;
    }
    for (CNodeGateway* target : {displayed_, gateway}) {
        target->csq = report->csq;
        target->lanIp = report->lanIp;
        target->lanMask = report->lanMask;
    }
    Repaint();
    gateway->vpnTunnel->OnGatewayStatus();
}

void GatewayDetailController::LinkReport(bool up)
{
    if (channelGateway_ != nullptr) {
        channelGateway_->linkUp = up ? 1 : 0;
        Repaint();
    }
    if (listener_ != nullptr) {
        listener_->LinkReported(up);
    }
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
        if (listener_ != nullptr) {
            listener_->DeviceOpenFailed(device);
        }
        return;
    }
    if (device->tunnel == nullptr) {
        CreateTunnelForDevice(this, displayed_, device, tunnelHost_);
    }
    awaitingOpen_ = device;
    StartStopDevice(true, device);
    // The answer comes later from the far side (or at once, when the start itself
    // answered): wait for it with a timed dialog that carries the device, so a
    // silence ends in a time-out for this device's row.
    if (awaitingOpen_ == device && device->tunnel != nullptr && device->tunnelOpen != 0) {
        ShowTips(Text(kTextChannelStarting), false, true, reinterpret_cast<WParam>(device));
    }
}

void GatewayDetailController::StartStopDevice(bool open, CNodeDevice* device)
{
    if (device == nullptr) {
        return;
    }
    if (open) {
        if (displayed_ == nullptr || !displayed_->IsOnline()) {
            switchOn_ = false;
            awaitingOpen_ = nullptr;
            Show(Text(kTextOffline));
            if (listener_ != nullptr) {
                listener_->DeviceOpenFailed(device);
            }
        } else {
            if (device->tunnel != nullptr) {
                mqtt_set_target_window(this);
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
    switchOn_ = false;
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
    if (listener_ != nullptr) {
        listener_->DeviceClosed(device);
    }
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
    channelGateway_ = displayed_;
    if (gwSn != nullptr && displayed_->gwSn == gwSn) {
        // Nothing takes records out of the port-start queue.
        portStarts_.Queue(displayed_, device);
    }
    channelGateway_->linkUp = 1;
    if (awaitingOpen_ == device) {
        awaitingOpen_ = nullptr;
    }
    Show(Text(kTextSerialReady));
    Repaint();
    CloseTipsDialog();
    if (listener_ != nullptr) {
        listener_->DeviceOpened(device);
    }
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
        if (listener_ != nullptr && device != nullptr) {
            listener_->DeviceOpenFailed(device);
        }
        return;
    }
    AddHandledOpen(gwSn, devSn);
    tunnel->OnMessage(nullptr, static_cast<int>(TUNNEL_OPEN_ACCEPTED));
    Show(openedText);
    Repaint();
    if (listener_ != nullptr && device != nullptr) {
        listener_->DeviceOpened(device);
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
    if (listener_ != nullptr) {
        listener_->RequestTimedOut(device);
    }
}

void GatewayDetailController::TunnelClosed(CDataTunnel* tunnel)
{
    if (tunnel == nullptr) {
        return;
    }
    activeTunnels_.Remove(tunnel);
    if (listener_ != nullptr) {
        listener_->DetailChanged();
    }
}

// --- Helpers. ---

void GatewayDetailController::ShowTips(const QString& text, bool closable, bool timed, WParam param)
{
    TipsDialog dialog(closable, timed, this);
    dialog.SetText(text, this, param);
    dialog.SetTimeout(tipsTimeoutMs_);
    tips_ = &dialog;
    dialog.DoModal();
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
    switchOn_ = channelGateway_ != nullptr && displayed_ != nullptr &&
                channelGateway_->gwSn == displayed_->gwSn && channelGateway_->channelActive != 0;
    if (listener_ != nullptr) {
        listener_->DetailChanged();
    }
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

std::vector<CNodeGateway*> GatewayDetailController::ChannelGateways() const
{
    std::lock_guard<std::recursive_mutex> guard(ChannelGatewayLock());
    return channelGateways_;
}

CNodeGateway* GatewayDetailController::FindChannelGateway(const std::string& gwSn) const
{
    std::lock_guard<std::recursive_mutex> guard(ChannelGatewayLock());
    for (CNodeGateway* gateway : channelGateways_) {
        if (gateway->gwSn == gwSn) {
            return gateway;
        }
    }
    return nullptr;
}

void GatewayDetailController::RemoveChannelGateway(const std::string& gwSn)
{
    std::lock_guard<std::recursive_mutex> guard(ChannelGatewayLock());
    channelGateways_.erase(std::remove_if(channelGateways_.begin(), channelGateways_.end(),
                                          [&](const CNodeGateway* g) { return g->gwSn == gwSn; }),
                           channelGateways_.end());
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
