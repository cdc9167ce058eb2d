#pragma once

// `lumetra-cli open` and `lumetra-cli vpn` against the whole far side on loopback
// (FarsideBed) over the test inventory: simulated devices and, when asked and the
// machine allows it, the far side's OpenVPN server. Every port is a free one except
// the port-forward tunnel's local listener, whose port follows the device type, and
// the VPN client's management port. A second MQTT client records what the client
// publishes on the far side's topics. Whatever the test started is ended with it,
// also when it fails.

#include "support/FarsideBed.h"
#include "support/MqttTestClient.h"
#include "support/OpenVpnStandIn.h"

#include <QString>
#include <QTcpSocket>

#include <modbus/modbus.h>

#include <memory>
#include <string>
#include <vector>

// A Modbus master for slave 1 with a 5 s answer time-out, connected; null (with the
// reason in `error`) when the context could not be made or connected.
using ModbusMaster = std::unique_ptr<modbus_t, void (*)(modbus_t*)>;
ModbusMaster ConnectModbusMaster(modbus_t* context, std::string* error);

class OpenBed : public FarsideBed
{
public:
    // The test account.
    static constexpr const char* kUser = "tester";
    static constexpr const char* kPassword = "pw-1";
    static constexpr const char* kGateway = "GW-E2E-01";
    static constexpr const char* kOfflineGateway = "GW-E2E-OFF";
    // A gateway with kFleetSize port-forward devices FLEET-01, FLEET-02, ... of type
    // 10 (port 5562), each answering its number + 1000 in holding register 0.
    static constexpr const char* kFleetGateway = "GW-E2E-FLEET";
    static constexpr int kFleetSize = 17;

    OpenBed();
    ~OpenBed() override;

    // Starts the broker, the far side over the test inventory (with its own OpenVPN
    // server when `vpnServer` is set and the machine can run one; see VpnServer) and
    // the recorder. False with the reason in Error().
    bool Start(bool vpnServer = false);
    // Start without a VPN server, with the far side's control channel open.
    bool StartWithControl();
    // One command on the far side's control channel and its one-line answer.
    std::string Control(const std::string& line);
    // Sends one command on `control` (connected here) without waiting for its answer
    // (a "restart" answers once its pause is over); false when it could not be sent.
    bool SendControl(const std::string& line, QTcpSocket& control);

    // Starts `lumetra-cli open <gateway> <device>` signed in as the test account.
    void Open(const std::string& device);
    // Starts `lumetra-cli open <gateway> <device> <device> ...` signed in as the test account.
    void OpenSeveral(const std::string& gateway, const std::vector<std::string>& devices);
    // Starts `lumetra-cli vpn <gateway>` signed in as the test account.
    void Vpn(const std::string& gateway = kGateway);
    // The PC identifier of the installation, fixed by a login during Start.
    std::string PcId() const { return pcId_; }

    // What the far side said of its VPN server: "127.0.0.1:<port> running", or the
    // address it hands out instead and why it runs no server here.
    QString VpnServer();
    // Running VPN clients started from this installation's working folder.
    std::vector<int64_t> VpnClients() const { return OpenVpnStandIn::ClientsIn(HomeFile("lumetra")); }

    // Every message the client published on the binder topic, the test gateway's
    // topics and its own server topic, in arrival order, once at least `count` have
    // arrived (or the time ran out): "<topic> q<QoS> <payload>" with the PC
    // identifier written as <pc>.
    std::vector<std::string> Wire(size_t count, int timeoutMs = 15000);
    // The recorder's connection, to publish as another party of the broker.
    MqttTestClient& Peer() { return recorder_; }

private:
    void EndVpnClients();

    std::string pcId_;
    int controlPort_ = 0;
    MqttTestClient recorder_{"e2e-wire-recorder"};
};
