#include "control/ChannelFlow.h"

#include "app/InputRules.h"
#include "cloud/CNodeGateway.h"
#include "control/GatewayDetailController.h"
#include "control/GatewayDetailListener.h"
#include "endpoint/CVpnStatusSocket.h"
#include "endpoint/VpnClientControl.h"
#include "mqtt-c/MessagePublisher.h"
#include "mqtt-c/VpnInfoRecord.h"
#include "platform/MessageBox.h"
#include "tunnel/CVPNDataTunnel.h"

#include <QTimer>

#include <algorithm>

namespace {

QString Text(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace

ChannelFlow::ChannelFlow(GatewayDetailController& detail) : detail_(detail)
{
    SetVpnClientCalls(nullptr, nullptr);
}

ChannelFlow::~ChannelFlow() = default;

void ChannelFlow::SetVpnClientCalls(std::function<VpnStart()> start, std::function<void()> stop)
{
    startVpnClient_ = start ? std::move(start) : [] { return StartVpnClient(); };
    stopVpnClients_ = stop ? std::move(stop) : [] { StopVpnClients(); };
}

void ChannelFlow::SwitchClicked()
{
    CNodeGateway* displayed = detail_.DisplayedGateway();
    if (switchLocked_ || displayed == nullptr) {
        return;
    }
    // The click turns the switch from what it shows: ON while this PC holds the
    // channel of the shown gateway's serial (the record shown may be a later one).
    const bool open =
        !(gateway_ != nullptr && gateway_->gwSn == displayed->gwSn && gateway_->channelActive != 0);
    if (gateway_ != nullptr && gateway_->gwSn != displayed->gwSn) {
        const QString question =
            QString::fromStdString(gateway_->gwSn) + Text(GatewayDetailController::kTextCloseOtherChannel);
        if (platform::ShowMessageBox(&detail_, question, QString(), platform::kMbYesNo) != platform::kIdYes) {
            switchOn_ = false;
            detail_.Repaint();
            detail_.Listener().ChannelRefused();
            return;
        }
        gateway_->channelRequested = 0;
        pendingRequests_.erase(gateway_->gwSn);
    }
    if (open) {
        Open();
    } else {
        Close();
    }
    detail_.Repaint();
}

void ChannelFlow::Open()
{
    CNodeGateway* gateway = detail_.DisplayedGateway();
    if (!gateway->IsOnline()) {
        switchOn_ = false;
        detail_.Show(Text(GatewayDetailController::kTextOffline));
        detail_.Listener().ChannelRefused();
        return;
    }
    CVPNDataTunnel* tunnel = detail_.tunnels_.EnsureChannelTunnel(detail_.services_, gateway);
    {
        std::lock_guard<std::mutex> guard(gatewaysLock_);
        const bool listed = std::any_of(gateways_.begin(), gateways_.end(), [gateway](const CNodeGateway* g) {
            return g->gwSn == gateway->gwSn;
        });
        if (!listed) {
            gateways_.push_back(gateway);
        }
    }
    detail_.services_.publisher->SetTargetWindow(&detail_);
    // A new request: a late answer to an earlier switch-off ends what it grants.
    closing_.erase(gateway->gwSn);
    tunnel->Start();
    // The reply that grants or refuses this request is taken once.
    pendingRequests_.insert(gateway->gwSn);
    gateway->channelRequested = 1;
    detail_.CloseTipsDialog();
    detail_.ShowTips(Text(GatewayDetailController::kTextChannelStarting), false, true, nullptr);
}

void ChannelFlow::Close()
{
    CNodeGateway* gateway = detail_.DisplayedGateway();
    switchOn_ = false;
    stopVpnClients_();
    gateway->csq = "-1";
    gateway->linkUp = 0;
    // The switch is OFF from here whatever the far side does (it may be away, or
    // have restarted and know no channel): the channel this PC held ends now. The
    // release below is kept until the broker takes it; the far side's answer to it
    // is still taken, quietly (Ended).
    gateway->channelActive = 0;
    if (gateway_ != nullptr && gateway_->gwSn == gateway->gwSn) {
        gateway_->channelActive = 0;
        gateway_->linkUp = 0;
        gateway_ = nullptr;
        closing_.insert(gateway->gwSn);
        if (managementRetry_ != nullptr) {
            managementRetry_->stop();
        }
    }
    detail_.Repaint();
    gateway->channelRequested = 0;
    pendingRequests_.erase(gateway->gwSn);
    // The channel tunnel is the one of the record the request was made from, which a
    // later gateway list may have replaced with the one shown.
    CVPNDataTunnel* tunnel = detail_.tunnels_.ChannelTunnel(gateway);
    if (tunnel == nullptr) {
        tunnel = detail_.tunnels_.ChannelTunnel(FindGateway(gateway->gwSn));
    }
    if (tunnel != nullptr) {
        tunnel->Stop();
    }
    RemoveGateway(gateway->gwSn);
    detail_.Show(Text(GatewayDetailController::kTextChannelClosed));
    detail_.Listener().ChannelClosed();
}

void ChannelFlow::Reply(const VpnInfoRecord* info)
{
    if (info == nullptr) {
        return;
    }
    const std::string what =
        "channel reply (cmdId 100) for gateway \"" + InputRules::Excerpt(info->gwSn) + "\"";
    // Only the answer to a channel request of this PC that is still waiting counts:
    // anybody on the broker can publish to this PC's topic.
    CNodeGateway* gateway = FindGateway(info->gwSn);
    CVPNDataTunnel* tunnel = detail_.tunnels_.ChannelTunnel(gateway);
    if (gateway == nullptr || tunnel == nullptr || pendingRequests_.count(info->gwSn) == 0) {
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
    pendingRequests_.erase(info->gwSn);
    detail_.CloseTipsDialog();
    if (info->busiCode == 0) {
        tunnel->OnVpnInfo(info);
        const VpnStart start = startVpnClient_();
        if (!start.refusal.empty()) {
            ServiceRefused(gateway, tunnel, start.refusal);
            return;
        }
        switchOn_ = true;
        CNodeGateway* displayed = detail_.DisplayedGateway();
        gateway_ = displayed != nullptr ? displayed : gateway;
        gateway_->channelActive = 1;
        managementSocket_.reset(new CVpnStatusSocket);
        managementAttemptsLeft_ = GatewayDetailController::kManagementAttempts;
        ConnectManagementSocket();
        detail_.Repaint();
        detail_.Listener().ChannelOpened();
        return;
    }
    // "busiCode" 1 says the channel is in use; any other value is shown as the
    // service's plain answer and starts nothing.
    detail_.Listener().ChannelRefused();
    detail_.ShowTips(Text(info->busiCode == 1 ? GatewayDetailController::kTextChannelInUse
                                              : GatewayDetailController::kTextChannelOtherBusiCode),
                     true, false, nullptr);
}

void ChannelFlow::ServiceRefused(CNodeGateway* gateway, CVPNDataTunnel* tunnel, const std::string& reason)
{
    // The VPN service would not start the client: the user reads why, and the granted
    // channel is released at once (its answer is taken quietly, as after a switch-off).
    switchOn_ = false;
    detail_.Show(Text(GatewayDetailController::kTextVpnServiceRefused) + QString::fromStdString(reason));
    gateway->channelRequested = 0;
    gateway->channelActive = 0;
    closing_.insert(gateway->gwSn);
    tunnel->Stop();
    RemoveGateway(gateway->gwSn);
    detail_.Repaint();
    detail_.Listener().ChannelRefused();
}

void ChannelFlow::ConnectManagementSocket()
{
    if (managementSocket_ == nullptr) {
        return;
    }
    // A refused attempt leaves a used socket behind: every attempt starts afresh.
    managementSocket_.reset(new CVpnStatusSocket);
    CVpnStatusSocket* socket = managementSocket_.get();
    if (socket->Create() && socket->Connect(QString::fromUtf8(kVpnManagementHost), kVpnManagementPort)) {
        socket->StartReports(&detail_);
        return;
    }
    // The client opens its management port a moment after it starts: try again
    // while the channel is still the one this socket was made for.
    if (--managementAttemptsLeft_ <= 0) {
        return;
    }
    if (managementRetry_ == nullptr) {
        managementRetry_ = std::make_unique<QTimer>();
        managementRetry_->setSingleShot(true);
        QObject::connect(managementRetry_.get(), &QTimer::timeout, [this] {
            if (gateway_ != nullptr && gateway_->channelActive != 0) {
                ConnectManagementSocket();
            }
        });
    }
    managementRetry_->start(GatewayDetailController::kManagementRetryMs);
}

void ChannelFlow::Ended(const VpnInfoRecord* info)
{
    // The far side's answer to a switch-off: the switch is OFF already.
    if (info != nullptr && (gateway_ == nullptr || info->gwSn != gateway_->gwSn) &&
        closing_.erase(info->gwSn) != 0) {
        detail_.Repaint();
        detail_.Listener().ChannelClosed();
        return;
    }
    // Only the gateway whose channel this PC holds (or is closing) can end it.
    if (info == nullptr || gateway_ == nullptr || info->gwSn != gateway_->gwSn) {
        if (info != nullptr) {
            InputRules::ReportDropped("channel-ended reply (cmdId 100) for gateway \"" +
                                          InputRules::Excerpt(info->gwSn) + "\"",
                                      "this PC holds no channel of that gateway");
        }
        return;
    }
    if (gateway_->channelRequested != 0) {
        detail_.Show(Text(GatewayDetailController::kTextChannelEnded));
    }
    gateway_->linkUp = 0;
    gateway_->channelActive = 0;
    detail_.Repaint();
    switchOn_ = false;
    gateway_ = nullptr;
    if (managementRetry_ != nullptr) {
        managementRetry_->stop();
    }
    detail_.Repaint();
    detail_.Listener().ChannelClosed();
}

void ChannelFlow::GatewayStatus(const CNodeGateway* report)
{
    if (report == nullptr) {
        return;
    }
    const std::string what =
        "gateway state report (cmdId 98) for gateway \"" + InputRules::Excerpt(report->gwSn) + "\"";
    // Reports count only for the gateway whose channel this PC holds; their texts are
    // shown and sent back in the LAN switch-on.
    if (gateway_ == nullptr || gateway_->channelActive == 0 || report->gwSn != gateway_->gwSn) {
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
    CNodeGateway* gateway = FindGateway(report->gwSn);
    CNodeGateway* displayed = detail_.DisplayedGateway();
    CVPNDataTunnel* tunnel = detail_.tunnels_.ChannelTunnel(gateway);
    if (gateway == nullptr || tunnel == nullptr || report->stateFlag == 0 || displayed == nullptr ||
        report->gwSn != displayed->gwSn) {
        return;
    }
    for (CNodeGateway* target : {displayed, gateway}) {
        target->csq = report->csq;
        target->lanIp = report->lanIp;
        target->lanMask = report->lanMask;
    }
    detail_.Repaint();
    tunnel->OnGatewayStatus();
}

void ChannelFlow::LinkReport(bool up)
{
    if (gateway_ != nullptr) {
        gateway_->linkUp = up ? 1 : 0;
        detail_.Repaint();
    }
    detail_.Listener().LinkReported(up);
}

void ChannelFlow::FollowData(const CNodeGateway* displayed)
{
    switchOn_ = gateway_ != nullptr && displayed != nullptr && gateway_->gwSn == displayed->gwSn &&
                gateway_->channelActive != 0;
}

std::vector<CNodeGateway*> ChannelFlow::Gateways() const
{
    std::lock_guard<std::mutex> guard(gatewaysLock_);
    return gateways_;
}

CNodeGateway* ChannelFlow::FindGateway(const std::string& gwSn) const
{
    std::lock_guard<std::mutex> guard(gatewaysLock_);
    for (CNodeGateway* gateway : gateways_) {
        if (gateway->gwSn == gwSn) {
            return gateway;
        }
    }
    return nullptr;
}

void ChannelFlow::RemoveGateway(const std::string& gwSn)
{
    std::lock_guard<std::mutex> guard(gatewaysLock_);
    gateways_.erase(std::remove_if(gateways_.begin(), gateways_.end(),
                                   [&](const CNodeGateway* g) { return g->gwSn == gwSn; }),
                    gateways_.end());
}
