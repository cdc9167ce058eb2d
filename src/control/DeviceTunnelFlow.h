#pragma once

#include "control/HandledOpenSet.h"
#include "tunnel/PortStartQueue.h"

#include <QString>

#include <string>

struct cJSON;
class ActiveTunnelList;
class CDataTunnel;
class CNodeDevice;
class CNodeGateway;
class ChannelFlow;
class GatewayDetailController;

// The device tunnels of the gateway detail: an open request and its waiting dialog,
// the tunnel's start and stop, the far side's open reply (2993) shown once per
// (gateway, device) pair until the pair is closed, the serial channel's readiness
// (1011), the close request and the waiting dialog's time-out. It shows its texts
// and dialogs through the controller that owns it and runs on the UI thread.
class DeviceTunnelFlow
{
public:
    DeviceTunnelFlow(GatewayDetailController& detail, ChannelFlow& channel, ActiveTunnelList& active);

    void OpenRequest(CNodeDevice* device);
    void CloseRequest(CNodeDevice* device);
    // Starts (`open`) or stops the device's tunnel. Null devices are ignored.
    void StartStop(bool open, CNodeDevice* device);
    void SerialReady(const char* gwSn, int deviceId);
    void Reply(CDataTunnel* tunnel, const cJSON* reply);
    // The open tunnel cannot go on: it is closed as on a close request (releases
    // sent), `text` is shown instead of the closing text and the row is reset.
    void Ended(CDataTunnel* tunnel, const QString& text);
    // The waiting dialog of `device` (null: of a channel request) timed out.
    void RequestTimeout(CNodeDevice* device);

    bool IsOpenHandled(const std::string& gwSn, const std::string& devSn) const
    {
        return handledOpens_.Contains(gwSn, devSn);
    }

private:
    // The gateway shown now (read afresh: a dialog shown meanwhile may change it).
    CNodeGateway* Displayed() const;
    // The device's tunnel in the controller's table, or null.
    CDataTunnel* TunnelOf(const CNodeDevice* device) const;

    GatewayDetailController& detail_;
    ChannelFlow& channel_;
    ActiveTunnelList& active_;
    // The device whose open waits for its answer.
    CNodeDevice* awaitingOpen_ = nullptr;
    HandledOpenSet handledOpens_;
    // Nothing takes records out of it.
    PortStartQueue portStarts_;
};
