#pragma once

#include "CliMqttSession.h"
#include "CliScreen.h"
#include "control/DeviceTableHost.h"
#include "control/GatewayDetailController.h"
#include "control/LocalTunnelHost.h"
#include "platform/MessageWindow.h"

#include <functional>
#include <memory>
#include <string>

class CliArguments;
class CNodeGateway;
class Installation;
class Session;
class QTimer;

// What the commands open and vpn share: the gateway detail controller with the
// window's roles around it. The session is the window the broker delivers to (it
// hands every message to the controller) and the device table's host (the row reset
// after a time-out); its tunnel host holds the local listener of a port-forward
// tunnel. Texts the window would show are printed (CliScreen).
class CliDetailSession : public platform::MessageWindow, public DeviceTableHost
{
public:
    // How long Start waits for the broker to deliver this client's own messages.
    static constexpr int kBrokerWaitMs = 15000;
    static constexpr int kProbeIntervalMs = 300;

    // The serial tunnels of the session start on `comPairs`, which outlives the
    // session's tunnels; the controller's device lists come from `session`.
    // The installation outlives the session.
    CliDetailSession(Session& session, Installation& installation, VirtualComPairs& comPairs);
    ~CliDetailSession() override;

    platform::LResult WindowProc(platform::MsgCode msg, platform::WParam wParam,
                                 platform::LParam lParam) override;

    // DeviceTableHost: there is no table to show; a reset row goes to the handler
    // given to OnRowReset.
    void ShowDeviceList(const DeviceList& /*devices*/) override {}
    void ResetRowButton(int row) override;

    GatewayDetailController& Controller() { return controller_; }
    LocalListenerHost& Listener() { return tunnelHost_.Listener(); }

    // Signs in to `session` (CliSignIn), reads the account's gateway `gwSn` and its
    // devices. Returns a CliExitCode; on success `gateway` holds the record.
    static int LoadGateway(Session& session, const Installation& installation, const CliArguments& args,
                           const std::string& gwSn, std::unique_ptr<CNodeGateway>* gateway);

    // Connects to the broker as the window does and, once the broker delivers this
    // client's own messages (its subscription is in place), calls `ready` on the
    // loop's thread; `failed` when that does not happen within kBrokerWaitMs.
    bool Start(std::function<void()> ready, std::function<void()> failed);
    // Ends the broker connection. Not from inside a handler the MQTT thread waits on.
    void Stop();

    // Called with the row index when a waiting dialog timed out.
    void OnRowReset(std::function<void(int row)> handler) { rowReset_ = std::move(handler); }

private:
    void SendProbe();
    bool IsProbe(platform::LParam message) const;

    Installation& installation_;
    CliScreen screen_;
    // The broker connection; declared before the controller, which publishes on it.
    CliMqttSession mqtt_;
    GatewayDetailController controller_;
    LocalTunnelHost tunnelHost_;
    std::function<void()> ready_;
    std::function<void()> failed_;
    std::function<void(int)> rowReset_;
    std::unique_ptr<QTimer> probeTimer_;
    int probesLeft_ = 0;
    bool connected_ = false;
    bool started_ = false;
};
