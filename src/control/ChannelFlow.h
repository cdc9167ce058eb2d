#pragma once

#include "endpoint/VpnStart.h"

#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

class CNodeGateway;
class CVpnStatusSocket;
class CVPNDataTunnel;
class QTimer;
class GatewayDetailController;
struct VpnInfoRecord;

// The maintenance channel (VPN) of the gateway detail: the switch and its clicks,
// the question before another gateway's channel is closed, the channel request (97)
// and its reply (100), the channel's end, the gateway's state reports (98), the VPN
// client's start and stop and the link to the client's management interface. It
// shows its texts and dialogs through the controller that owns it and runs on the UI
// thread; only the list of channel gateways has a lock of its own.
class ChannelFlow
{
public:
    explicit ChannelFlow(GatewayDetailController& detail);
    ~ChannelFlow();

    ChannelFlow(const ChannelFlow&) = delete;
    ChannelFlow& operator=(const ChannelFlow&) = delete;

    // See GatewayDetailController::SetVpnClientCalls.
    void SetVpnClientCalls(std::function<VpnStart()> start, std::function<void()> stop);

    // The switch was clicked.
    void SwitchClicked();
    // A reply with "isSwitchOn" 1 (a grant or a refusal) and one with another value
    // (the channel ended). Null records are ignored.
    void Reply(const VpnInfoRecord* info);
    void Ended(const VpnInfoRecord* info);
    void GatewayStatus(const CNodeGateway* report);
    // One report of the VPN client's management interface.
    void LinkReport(bool up);

    // The gateway whose channel this PC holds (or whose serial tunnel reported ready).
    CNodeGateway* Gateway() const { return gateway_; }
    void SetGateway(CNodeGateway* gateway) { gateway_ = gateway; }
    bool SwitchOn() const { return switchOn_; }
    void SetSwitchOn(bool on) { switchOn_ = on; }
    bool SwitchLocked() const { return switchLocked_; }
    void SetSwitchLocked(bool locked) { switchLocked_ = locked; }
    // The switch follows the data: on while `displayed` is the held channel's gateway
    // and that channel is active.
    void FollowData(const CNodeGateway* displayed);
    CVpnStatusSocket* ManagementSocket() const { return managementSocket_.get(); }
    std::vector<CNodeGateway*> Gateways() const;

private:
    void Open();
    void Close();
    void ConnectManagementSocket();
    void ServiceRefused(CNodeGateway* gateway, CVPNDataTunnel* tunnel, const std::string& reason);
    CNodeGateway* FindGateway(const std::string& gwSn) const;
    void RemoveGateway(const std::string& gwSn);

    GatewayDetailController& detail_;
    std::function<VpnStart()> startVpnClient_;
    std::function<void()> stopVpnClients_;

    CNodeGateway* gateway_ = nullptr;
    bool switchOn_ = false;
    bool switchLocked_ = false;
    std::unique_ptr<CVpnStatusSocket> managementSocket_;
    std::unique_ptr<QTimer> managementRetry_;
    int managementAttemptsLeft_ = 0;
    // Gateways whose channel request (97) of this PC waits for its reply (100).
    std::set<std::string> pendingRequests_;
    // Gateways whose channel the user switched off while the far side had not yet
    // answered the release: that answer is taken without another box.
    std::set<std::string> closing_;
    // The gateways this PC asked a channel of, until the user closes it.
    mutable std::mutex gatewaysLock_;
    std::vector<CNodeGateway*> gateways_;
};
