#include "control/DeviceTunnelFlow.h"

#include "app/InputRules.h"
#include "app/Installation.h"
#include "cloud/CNodeDevice.h"
#include "cloud/CNodeGateway.h"
#include "control/ActiveTunnelList.h"
#include "control/ChannelFlow.h"
#include "control/DeviceTableHost.h"
#include "control/GatewayDetailController.h"
#include "control/GatewayDetailListener.h"
#include "mqtt-c/MessagePublisher.h"
#include "platform/TextCodec.h"
#include "tunnel/CComDataTunnel.h"
#include "tunnel/CDataTunnel.h"
#include "tunnel/TunnelJson.h"

#include <cjson/cJSON.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

QString Text(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// The text a refused open reply shows, chosen by its "encode".
QString RefusalText(const cJSON* reply)
{
    const cJSON* msgItem = cJSON_GetObjectItem(reply, "msg");
    const std::string msg =
        cJSON_IsString(msgItem) && msgItem->valuestring != nullptr ? msgItem->valuestring : "";
    const cJSON* encode = cJSON_GetObjectItem(reply, "encode");
    if (encode == nullptr) {
        return platform::TextCodec::Utf8ToWide(msg);
    }
    if (cJSON_IsString(encode) && encode->valuestring != nullptr &&
        std::strcmp(encode->valuestring, "ascii") == 0) {
        return platform::TextCodec::LegacyToWide(msg);
    }
    return Text(GatewayDetailController::kTextOpenFailed);
}

} // namespace

DeviceTunnelFlow::DeviceTunnelFlow(GatewayDetailController& detail, ChannelFlow& channel,
                                   ActiveTunnelList& active)
    : detail_(detail), channel_(channel), active_(active)
{
}

CNodeGateway* DeviceTunnelFlow::Displayed() const
{
    return detail_.DisplayedGateway();
}

CDataTunnel* DeviceTunnelFlow::TunnelOf(const CNodeDevice* device) const
{
    return detail_.tunnels_.DeviceTunnel(device);
}

void DeviceTunnelFlow::OpenRequest(CNodeDevice* device)
{
    if (device == nullptr) {
        return;
    }
    // Tunnels of the same kind run side by side unless the installation asks for one
    // at a time ("single_tunnel" "1"); never more than kMaxDeviceTunnels at once.
    const bool oneAtATime = detail_.services_.installation != nullptr &&
                            detail_.services_.installation->ResourceText("single_tunnel") == "1";
    const bool running = oneAtATime && active_.Any([device](const CDataTunnel& t) {
        return t.GetDevice() != nullptr && t.GetDevice()->tunType == device->tunType;
    });
    size_t open = 0;
    for (const CDataTunnel* tunnel : active_.Snapshot()) {
        open += tunnel != nullptr && tunnel->GetDevice() != nullptr && tunnel->GetDevice() != device ? 1 : 0;
    }
    if (running || open >= GatewayDetailController::kMaxDeviceTunnels) {
        detail_.Show(Text(running ? GatewayDetailController::kTextOneTunnelPerType
                                  : GatewayDetailController::kTextTooManyTunnels));
        device->tunnelOpen = 0;
        detail_.Repaint();
        detail_.Listener().DeviceOpenFailed(device);
        return;
    }
    if (TunnelOf(device) == nullptr) {
        detail_.tunnels_.CreateDeviceTunnel(detail_.services_, &detail_, Displayed(), device);
    }
    awaitingOpen_ = device;
    StartStop(true, device);
    // The answer comes later from the far side (or at once, when the start itself
    // answered): wait for it with a timed dialog for this device, so a silence ends
    // in a time-out for this device's row.
    if (awaitingOpen_ == device && TunnelOf(device) != nullptr && device->tunnelOpen != 0) {
        detail_.ShowTips(Text(GatewayDetailController::kTextChannelStarting), false, true, device);
    }
}

void DeviceTunnelFlow::StartStop(bool open, CNodeDevice* device)
{
    if (device == nullptr) {
        return;
    }
    if (open) {
        if (Displayed() == nullptr || !Displayed()->IsOnline()) {
            channel_.SetSwitchOn(false);
            awaitingOpen_ = nullptr;
            // Nothing was started: the row shows no tunnel.
            device->tunnelOpen = 0;
            detail_.Show(Text(GatewayDetailController::kTextOffline));
            detail_.Listener().DeviceOpenFailed(device);
        } else {
            if (CDataTunnel* tunnel = TunnelOf(device)) {
                detail_.services_.publisher->SetTargetWindow(&detail_);
                // Set before the start: a start that is answered at once (the local
                // listener of a port-forward tunnel) may clear it again.
                device->tunnelOpen = 1;
                tunnel->Start();
            }
            Displayed()->channelRequested = 1;
            detail_.CloseTipsDialog();
        }
        detail_.Repaint();
        return;
    }
    channel_.SetSwitchOn(false);
    if (Displayed() != nullptr) {
        Displayed()->csq = "-1";
    }
    device->tunnelOpen = 0;
    if (awaitingOpen_ == device) {
        awaitingOpen_ = nullptr;
    }
    detail_.Repaint();
    QString text;
    if (CDataTunnel* tunnel = TunnelOf(device)) {
        tunnel->Stop();
        text = tunnel->GetText(0);
    }
    detail_.Show(text);
    detail_.Listener().DeviceClosed(device);
}

void DeviceTunnelFlow::SerialReady(const char* gwSn, int deviceId)
{
    // The notice counts only while a serial tunnel of this PC runs on the gateway shown.
    bool serialRunning = false;
    if (Displayed() != nullptr && gwSn != nullptr && Displayed()->gwSn == gwSn) {
        serialRunning = active_.Any([this](const CDataTunnel& t) {
            return t.GetGateway() != nullptr && t.GatewaySn() == Displayed()->gwSn &&
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
    if (Displayed() != nullptr) {
        for (const std::unique_ptr<CNodeDevice>& candidate : Displayed()->devices) {
            if (candidate != nullptr && candidate->deviceId == deviceId) {
                device = candidate.get();
                break;
            }
        }
    }
    if (device == nullptr) {
        detail_.Show(Text(GatewayDetailController::kTextNoDevice));
        return;
    }
    CDataTunnel* tunnel = TunnelOf(device);
    if (tunnel == nullptr) {
        detail_.Show(Text(GatewayDetailController::kTextNoSerialTunnel));
        return;
    }
    auto* serial = dynamic_cast<CComDataTunnel*>(tunnel);
    if (serial == nullptr || serial->GetUserHalf() == nullptr) {
        detail_.Show(Text(GatewayDetailController::kTextNoComPort));
        return;
    }
    if (serial->GetProgramHalf() == nullptr) {
        detail_.Show(Text(GatewayDetailController::kTextNoComPair));
        return;
    }
    channel_.SetGateway(Displayed());
    if (gwSn != nullptr && Displayed()->gwSn == gwSn) {
        // Nothing takes records out of the port-start queue.
        portStarts_.Queue(Displayed(), device);
    }
    channel_.Gateway()->linkUp = 1;
    if (awaitingOpen_ == device) {
        awaitingOpen_ = nullptr;
    }
    detail_.CloseTipsDialogOf(device);
    detail_.Show(Text(GatewayDetailController::kTextSerialReady));
    detail_.Repaint();
    detail_.Listener().DeviceOpened(device);
}

void DeviceTunnelFlow::Reply(CDataTunnel* tunnel, const cJSON* reply)
{
    if (reply == nullptr || !TunnelJsonHas(reply, "flag") || !TunnelJsonHas(reply, "msg") ||
        tunnel == nullptr) {
        return;
    }
    const std::string gwSn = tunnel->GatewaySn();
    const std::string devSn = tunnel->DeviceSn();
    if (handledOpens_.Contains(gwSn, devSn)) {
        return; // a repeat of a success already shown
    }
    CNodeDevice* device = tunnel->GetDevice();
    // The answer's box opens once the dialog waiting for it is off the screen.
    detail_.CloseTipsDialogOf(device);
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
        detail_.Show(RefusalText(reply));
        tunnel->Stop();
        detail_.Repaint();
        if (device != nullptr) {
            detail_.Listener().DeviceOpenFailed(device);
        }
        return;
    }
    handledOpens_.Add(gwSn, devSn);
    tunnel->OnOpenAccepted();
    detail_.Show(openedText);
    detail_.Repaint();
    if (device != nullptr) {
        detail_.Listener().DeviceOpened(device);
    }
}

void DeviceTunnelFlow::CloseRequest(CNodeDevice* device)
{
    if (device == nullptr) {
        return;
    }
    if (Displayed() != nullptr) {
        handledOpens_.Remove(Displayed()->gwSn, platform::TextCodec::WideToUtf8(device->deviceSn));
    }
    StartStop(false, device);
}

void DeviceTunnelFlow::Ended(CDataTunnel* tunnel, const QString& text)
{
    if (tunnel == nullptr) {
        return;
    }
    handledOpens_.Remove(tunnel->GatewaySn(), tunnel->DeviceSn());
    CNodeDevice* device = tunnel->GetDevice();
    int row = -1;
    if (device != nullptr) {
        device->tunnelOpen = 0;
        row = device->rowIndex;
        if (awaitingOpen_ == device) {
            awaitingOpen_ = nullptr;
        }
    }
    tunnel->Stop();
    detail_.Repaint();
    if (device != nullptr) {
        detail_.CloseTipsDialogOf(device);
    }
    detail_.Show(text);
    if (detail_.tableHost_ != nullptr) {
        detail_.tableHost_->ResetRowButton(row);
    }
    if (device != nullptr) {
        detail_.Listener().DeviceClosed(device);
    }
}

void DeviceTunnelFlow::RequestTimeout(CNodeDevice* device)
{
    int row = -1;
    if (device != nullptr) {
        device->tunnelOpen = 0;
        if (awaitingOpen_ == device) {
            awaitingOpen_ = nullptr;
        }
        if (CDataTunnel* tunnel = TunnelOf(device)) {
            tunnel->OnTimeout();
            tunnel->Stop();
        }
        row = device->rowIndex;
    }
    if (detail_.tableHost_ != nullptr) {
        detail_.tableHost_->ResetRowButton(row);
    }
    detail_.Repaint();
    detail_.Listener().RequestTimedOut(device);
}
