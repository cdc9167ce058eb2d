#pragma once

// `lumetra-cli open` and `lumetra-cli vpn` against the whole far side on loopback: a
// mosquitto broker, a lumetra-farside with its broker services, port-transfer and
// relay servers, simulated devices and, when asked and the machine allows it, its
// OpenVPN server, and the real virtual COM pair tool. Every port is a free one
// except the port-forward tunnel's local listener, whose port follows the device
// type, and the VPN client's management port. A second MQTT client records what the
// client publishes on the far side's topics. Whatever the test started is ended
// with it, also when it fails.

#include "support/FarsideProcess.h"
#include "support/MosquittoBroker.h"
#include "support/MqttTestClient.h"
#include "support/TempDir.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <modbus/modbus.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// A Modbus master for slave 1 with a 5 s answer time-out, connected; null (with the
// reason in `error`) when the context could not be made or connected.
using ModbusMaster = std::unique_ptr<modbus_t, void (*)(modbus_t*)>;
ModbusMaster ConnectModbusMaster(modbus_t* context, std::string* error);

class OpenBed
{
public:
    static constexpr const char* kGateway = "GW-E2E-01";
    static constexpr const char* kOfflineGateway = "GW-E2E-OFF";

    OpenBed() = default;
    ~OpenBed();
    OpenBed(const OpenBed&) = delete;
    OpenBed& operator=(const OpenBed&) = delete;

    // Starts the broker, the far side over the test inventory (with its own OpenVPN
    // server when `vpnServer` is set and the machine can run one; see VpnServer) and
    // the recorder. False with the reason in Error().
    bool Start(bool vpnServer = false);
    QString Error() const { return error_; }

    // Starts `lumetra-cli open <gateway> <device>` signed in as the test account.
    void Open(const std::string& device);
    // Starts `lumetra-cli vpn <gateway>` signed in as the test account.
    void Vpn(const std::string& gateway = kGateway);
    // Waits until the program printed a line starting with `prefix` and returns the
    // rest of that line; empty when it ended or the time ran out first.
    QString WaitForLine(const QString& prefix, int timeoutMs = 30000);
    // Waits until the program's standard error holds `text`; false when it ended or
    // the time ran out first.
    bool WaitForError(const QString& text, int timeoutMs = 30000);
    // The running program's process id (0 when it is not running).
    qint64 Pid() const { return cli_.processId(); }
    // Waits for the program's end; -1 when it had to be killed or crashed.
    int WaitForExit(int timeoutMs = 20000);
    // SIGINT (or `signal`), then WaitForExit.
    int Interrupt(int signal = 2 /* SIGINT */);
    // SIGKILL, as a crash ends the program, and waits for its end.
    void Crash();

    // Waits until the program printed at least `count` lines on standard error that
    // start with `prefix`.
    bool WaitForErrorLines(const QString& prefix, int count, int timeoutMs = 15000);

    QString Out() const { return out_; }
    QString Err() const { return err_; }
    FarsideProcess& Farside() { return farside_; }
    // The installation folder (LUMETRA_HOME of the client).
    QString Home() const { return home_.Path(); }
    // The PC identifier of the installation, fixed by a login during Start.
    std::string PcId() const { return pcId_; }

    // What the far side said of its VPN server: "127.0.0.1:<port> running", or the
    // address it hands out instead and why it runs no server here.
    QString VpnServer();
    // Running VPN clients started from this installation's working folder.
    std::vector<qint64> VpnClients() const;

    // Every message the client published on the binder topic, the test gateway's
    // topics and its own server topic, in arrival order, once at least `count` have
    // arrived (or the time ran out): "<topic> q<QoS> <payload>" with the PC
    // identifier written as <pc>.
    std::vector<std::string> Wire(size_t count, int timeoutMs = 15000);
    // The recorder's connection, to publish as another party of the broker.
    MqttTestClient& Peer() { return recorder_; }

private:
    void Run(const QStringList& arguments);
    void Drain();
    // Drains the program's output until `done` holds; false when it ended or the
    // time ran out first.
    bool WaitForOutput(const std::function<bool()>& done, int timeoutMs);
    void EndVpnClients();
    void RemoveComPairs();

    MosquittoBroker broker_;
    TempDir home_;
    QString vcomDir_;
    std::string pcId_;
    FarsideProcess farside_;
    MqttTestClient recorder_{"e2e-wire-recorder"};
    QProcess cli_;
    QString out_;
    QString err_;
    QString error_;
};
