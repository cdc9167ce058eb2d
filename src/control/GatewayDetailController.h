#pragma once

#include "control/ActiveTunnelList.h"
#include "control/ChannelFlow.h"
#include "control/DeviceTunnelFlow.h"
#include "control/GatewayDetailListener.h"
#include "platform/MessageWindow.h"
#include "platform/TipsDialog.h"
#include "tunnel/TunnelObserver.h"
#include "tunnel/TunnelServices.h"
#include "tunnel/TunnelTable.h"

#include <QString>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

class CDataTunnel;
class CNodeDevice;
class DeviceTableHost;
class CNodeGateway;
class CVpnStatusSocket;
class TunnelHost;
class Session;

// The logic of the gateway detail view without a widget. It routes the window
// messages below to its parts and keeps what they share (the displayed gateway, the
// waiting dialog, the listener): ChannelFlow runs the maintenance channel,
// DeviceTunnelFlow the device tunnels, ActiveTunnelList lists the running tunnels.
// Each list has its own lock. The view draws the state read here and forwards
// clicks; the command-line client drives the same flows without a screen.
//
// Window messages handled (WindowProc):
//   WM_VPN_CHANNEL_REPLY, WM_VPN_CHANNEL_ENDED, WM_GATEWAY_STATUS, WM_VPN_LINK_UP,
//   WM_VPN_LINK_DOWN, WM_SERIAL_TUNNEL_READY, WM_TUNNEL_REPLY, WM_REQUEST_TIMEOUT,
//   WM_TUNNEL_MESSAGE.
// The tunnels it creates report to it as their TunnelObserver. The device table's
// host is given the device list (SetGateway; the view gives it again whenever the
// detail changes) and the row to reset after a time-out.
//
// Message boxes are the controller's own (owner: this window), captioned "Lumetra",
// style kMbOk, except the other-gateway question (kMbYesNo, empty caption).
class GatewayDetailController : public platform::MessageWindow, public TunnelObserver
{
public:
    // Texts shown by the controller.
    static constexpr const char* kTextOffline = QT_TRANSLATE_NOOP("UiText", "设备不在线");
    static constexpr const char* kTextOneTunnelPerType = QT_TRANSLATE_NOOP("UiText", "暂不支持多条通道");
    static constexpr const char* kTextTooManyTunnels = QT_TRANSLATE_NOOP("UiText", "最多同时打开16条通道");
    static constexpr const char* kTextNoDevice = QT_TRANSLATE_NOOP("UiText", "设备为空！");
    static constexpr const char* kTextNoSerialTunnel = QT_TRANSLATE_NOOP("UiText", "设备串口数据通道为空！");
    static constexpr const char* kTextNoComPort = QT_TRANSLATE_NOOP("UiText", "分配串口异常！");
    static constexpr const char* kTextNoComPair = QT_TRANSLATE_NOOP("UiText", "分配串口对异常！");
    static constexpr const char* kTextSerialReady = QT_TRANSLATE_NOOP("UiText", "通道开启成功！");
    static constexpr const char* kTextChannelClosed = QT_TRANSLATE_NOOP("UiText", "通道关闭成功");
    static constexpr const char* kTextChannelEnded = QT_TRANSLATE_NOOP("UiText", "通道关闭成功！");
    static constexpr const char* kTextChannelInUse = QT_TRANSLATE_NOOP("UiText", "网关通道已经在使用中！");
    static constexpr const char* kTextChannelOtherBusiCode = QT_TRANSLATE_NOOP("UiText", "打开成功！");
    static constexpr const char* kTextOpenFailed = QT_TRANSLATE_NOOP("UiText", "打开通道失败");
    static constexpr const char* kTextCloseOtherChannel =
        QT_TRANSLATE_NOOP("UiText", "通道已经建立，是否关闭通道？");
    static constexpr const char* kTextChannelStarting = QT_TRANSLATE_NOOP("UiText", "通道启动中，请稍等");
    // Followed by the VPN service's reason.
    static constexpr const char* kTextVpnServiceRefused =
        QT_TRANSLATE_NOOP("UiText", "VPN服务拒绝启动VPN客户端：");

    // Device tunnels open at once; one more is refused (kTextTooManyTunnels).
    static constexpr size_t kMaxDeviceTunnels = 16;

    // Attempts to reach the VPN client's management interface after the client was
    // started, kManagementRetryMs apart.
    static constexpr int kManagementAttempts = 60;
    static constexpr int kManagementRetryMs = 500;

    // The device lists come from `session`'s account. Tunnels the controller creates
    // get `services`; its publisher (not null) is the broker connection whose inbound
    // messages the controller takes.
    GatewayDetailController(Session& session, const TunnelServices& services);
    ~GatewayDetailController() override;

    platform::LResult WindowProc(platform::MsgCode msg, platform::WParam wParam,
                                 platform::LParam lParam) override;

    // --- TunnelObserver. ---
    // Lists the tunnel as active.
    void OnTunnelOpened(CDataTunnel& tunnel) override { activeTunnels_.Add(&tunnel); }
    // Takes the tunnel off the active list and tells the listener.
    void OnTunnelClosed(CDataTunnel& tunnel) override;
    // The reply of the tunnel's open (DeviceTunnelFlow::Reply).
    void OnTunnelReply(CDataTunnel& tunnel, const cJSON* reply) override;
    // Repaints and tells the listener (DeviceLinkChanged).
    void OnTunnelLink(CDataTunnel& tunnel, bool up) override;
    // Shows the text and closes the tunnel (DeviceTunnelFlow::Ended).
    void OnTunnelEnded(CDataTunnel& tunnel, const char* text) override;
    // The controller owns the tunnels' message boxes.
    platform::MessageWindow* MessageBoxOwner() override { return this; }

    // --- Set-up. ---
    // The host of the device table (may be null).
    void SetDeviceTableHost(DeviceTableHost* host) { tableHost_ = host; }
    // The host handed to the tunnels this controller creates (in their services); it
    // must outlive them: the owner destroys the controller, or calls ReleaseTunnels,
    // before the host.
    void SetTunnelHost(TunnelHost* host) { services_.host = host; }
    void SetListener(GatewayDetailListener* listener) { listener_ = listener; }
    // The period of the waiting dialogs' time-out (TipsDialog::kDefaultTimeoutMs).
    void SetTipsTimeout(int milliseconds) { tipsTimeoutMs_ = milliseconds; }
    // How the VPN client process is started when a channel is granted and ended when
    // the user switches the channel off; an empty function keeps the default
    // (StartVpnClient, StopVpnClients), which end only the client this program
    // started; tests that are not about the client put in their own.
    void SetVpnClientCalls(std::function<VpnStart()> start, std::function<void()> stop)
    {
        channel_.SetVpnClientCalls(std::move(start), std::move(stop));
    }

    // --- Operations of the main window. ---
    // Makes `gateway` the displayed gateway: copies the channel state from the
    // channel gateway when it has the same serial, queries the device list when it
    // is empty, and gives the list to the device table's host.
    void SetGateway(CNodeGateway* gateway);
    // While set, the channel switch is disabled and its clicks are ignored.
    void LockSwitch(bool locked);

    // --- Clicks. ---
    // The device table asks to open or close a device's tunnel (the row's button;
    // the caller has set the open flag for an open). Null is ignored.
    void OpenRequest(CNodeDevice* device) { devices_.OpenRequest(device); }
    void CloseRequest(CNodeDevice* device) { devices_.CloseRequest(device); }
    // The maintenance channel switch was clicked. Returns when the flow is over,
    // which includes the modal waiting dialog of a channel request.
    void ChannelSwitchClicked() { channel_.SwitchClicked(); }
    // The owner's way to close the waiting dialog, if one is shown.
    void CloseTipsDialog();

    // --- State for drawing. ---
    CNodeGateway* DisplayedGateway() const { return displayed_; }
    CNodeGateway* ChannelGateway() const { return channel_.Gateway(); }
    bool SwitchOn() const { return channel_.SwitchOn(); }
    bool SwitchLocked() const { return channel_.SwitchLocked(); }
    // The link picture: up when a gateway is displayed and its link-up flag is set.
    bool LinkUp() const;
    // The waiting dialog shown now, or null.
    platform::TipsDialog* CurrentTipsDialog() const { return tips_; }
    CVpnStatusSocket* ManagementSocket() const { return channel_.ManagementSocket(); }

    // One row of the device table.
    struct DeviceRow
    {
        CNodeDevice* device = nullptr;
        QString id;
        QString name;
        QString interfaceName;
        QString address;
        bool online = false;
        bool hasButton = false; // tunnel type 1 or 2
        bool on = false;        // the tunnel-open flag
        bool linkLost = false;  // the open tunnel's data connection is lost
    };
    std::vector<DeviceRow> DeviceRows() const;
    // The device table's address cell: where to connect while the device's
    // port-forward tunnel listens ("127.0.1.2:502"), else the device's own address
    // (its ip, or its COM port and settings).
    QString ConnectAddress(const CNodeDevice* device) const;

    // --- The tunnels of the records, owned by the controller. ---
    // The device's tunnel, or null when none was made for it.
    CDataTunnel* DeviceTunnel(const CNodeDevice* device) const { return tunnels_.DeviceTunnel(device); }
    // Destroys every tunnel the controller made (the destructor does it too). Running
    // tunnels are not stopped first.
    void ReleaseTunnels();

    // --- The lists (each read under its lock). ---
    std::vector<CDataTunnel*> ActiveTunnels() const { return activeTunnels_.Snapshot(); }
    bool IsActive(const CDataTunnel* tunnel) const { return activeTunnels_.Contains(tunnel); }
    std::vector<CNodeGateway*> ChannelGateways() const { return channel_.Gateways(); }
    bool IsOpenHandled(const std::string& gwSn, const std::string& devSn) const
    {
        return devices_.IsOpenHandled(gwSn, devSn);
    }

private:
    // --- Shared by the flows. ---
    friend class ChannelFlow;
    friend class DeviceTunnelFlow;
    // Shows a waiting dialog and remembers it, and the device it waits for (or null),
    // while it is shown.
    void ShowTips(const QString& text, bool closable, bool timed, CNodeDevice* device);
    // Closes the waiting dialog when it waits for `device` (null: the channel's), so
    // that it is off the screen before the box with the answer opens.
    void CloseTipsDialogOf(const CNodeDevice* device);
    // A message box of this window, captioned "Lumetra".
    void Show(const QString& text);
    // Lets the switch follow the data and tells the listener to repaint.
    void Repaint();
    // The listener, or one that does nothing.
    GatewayDetailListener& Listener();
    // (The flows also read services_ and tableHost_, and keep their tunnels in
    // tunnels_.)

    Session& session_;
    TunnelServices services_;
    DeviceTableHost* tableHost_ = nullptr;
    GatewayDetailListener* listener_ = nullptr;
    GatewayDetailListener silent_;
    int tipsTimeoutMs_ = platform::TipsDialog::kDefaultTimeoutMs;

    CNodeGateway* displayed_ = nullptr;
    platform::TipsDialog* tips_ = nullptr;
    CNodeDevice* tipsDevice_ = nullptr;
    // Owns the tunnels; the list and the flows below point at them.
    TunnelTable tunnels_;
    ActiveTunnelList activeTunnels_;
    ChannelFlow channel_;
    DeviceTunnelFlow devices_;
};
