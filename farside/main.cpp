// lumetra-farside: the far side of the Lumetra client on this machine.
//
//   lumetra-farside --platconf FILE --inventory FILE [--web-only] [--keepalive SECONDS]
//                   [--no-vpn-server] [--vpn-ca FILE] [--control PORT]
//
// Exit status: 0 after SIGINT/SIGTERM or --help, 2 for a bad command line or bad
// input file, 1 when a service cannot start.

#include "BrokerClient.h"
#include "ControlChannel.h"
#include "FarsideLog.h"
#include "FarsideOptions.h"
#include "FarsideSettings.h"
#include "FaultBoard.h"
#include "FaultCommands.h"
#include "Inventory.h"
#include "LinkTable.h"
#include "LumetraVersion.h"
#include "MessageRouter.h"
#include "PcReplies.h"
#include "PortTransferServer.h"
#include "RelayServer.h"
#include "SerialDeviceHub.h"
#include "ServiceContext.h"
#include "TcpDeviceServers.h"
#include "VpnServerRunner.h"
#include "WebService.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <unistd.h>

namespace {

// Waits for SIGINT/SIGTERM, calling `tick` every `periodSeconds` (0: never).
template <typename Tick> int WaitForStop(const sigset_t& stopSignals, int periodSeconds, Tick tick)
{
    for (;;) {
        if (periodSeconds <= 0) {
            int signal = 0;
            sigwait(&stopSignals, &signal);
            return signal;
        }
        const timespec period{periodSeconds, 0};
        const int signal = sigtimedwait(&stopSignals, nullptr, &period);
        if (signal > 0)
            return signal;
        tick();
    }
}

// The broker services, the TCP servers and the simulated devices.
class TunnelSide
{
public:
    TunnelSide(const FarsideOptions& options, FarsideSettings& settings, const Inventory& inventory)
        : options_(options), settings_(settings), inventory_(inventory), faults_(inventory),
          replies_(broker_, faults_), serialDevices_(replies_, faults_),
          context_(inventory, links_, serialDevices_, replies_, faults_),
          commands_(faults_, [this](int pauseMs, std::string* error) { return Restart(pauseMs, error); }),
          control_([this](const std::string& line) { return commands_.Execute(line); })
    {
    }

    ~TunnelSide()
    {
        control_.Stop();
        broker_.Stop();
        if (relay_)
            relay_->Stop();
        if (portTransfer_)
            portTransfer_->Stop();
        tcpDevices_.Stop();
        vpnServer_.Stop();
    }

    bool Start(std::string* error)
    {
        if (!settings_.LoadServices(error) || !tcpDevices_.Start(inventory_.Root(), error) ||
            !serialDevices_.Build(inventory_, error))
            return false;
        for (const TcpDeviceServers::Endpoint& endpoint : tcpDevices_.Endpoints())
            FarsideLog::Line("device " + endpoint.deviceSn + " (" + endpoint.kind + ") listening on " +
                             endpoint.ip + ":" + std::to_string(endpoint.port));

        VpnService::Server vpn{settings_.vpnHost, settings_.vpnPort};
        std::string reason;
        VpnServerRunner::Options vpnOptions;
        vpnOptions.caCopyPath = options_.vpnCaCopy;
        if (options_.noVpnServer) {
            reason = "--no-vpn-server";
        } else if (VpnServerRunner::CanRun(vpnOptions, &reason) && vpnServer_.Start(vpnOptions, &reason)) {
            vpn = {vpnServer_.Host(), vpnServer_.Port()};
            reason.clear();
        }
        FarsideLog::Line("vpn server " + vpn.host + ":" + std::to_string(vpn.port) +
                         (reason.empty() ? std::string(" running") : " announced, not run here: " + reason));
        router_ = std::make_unique<MessageRouter>(context_, vpn);

        portTransfer_ = std::make_unique<PortTransferServer>(context_);
        relay_ = std::make_unique<RelayServer>(
            context_, [this](const std::string&, const Inventory::Device& device, std::string* host,
                             int* port, std::string* why) { return DeviceAddress(device, host, port, why); });
        if (!portTransfer_->Listen(settings_.portTransferHost, settings_.portTransferPort, error) ||
            !relay_->Listen(settings_.relayHost, settings_.relayPort, error))
            return false;
        portTransfer_->Start();
        relay_->Start();
        FarsideLog::Line("port-transfer server listening on " + settings_.portTransferHost + ":" +
                         std::to_string(portTransfer_->Port()));
        FarsideLog::Line("relay server listening on " + settings_.relayHost + ":" +
                         std::to_string(relay_->Port()));
        if (options_.controlPort >= 0) {
            if (!control_.Listen(options_.controlPort, error))
                return false;
            control_.Start();
            FarsideLog::Line("control channel listening on 127.0.0.1:" + std::to_string(control_.Port()));
        }

        BrokerClient::Settings broker{settings_.brokerHost, settings_.brokerPort, settings_.brokerUser,
                                      settings_.brokerPassword};
        return broker_.Start(
            broker,
            [this](const std::string& topic, const std::string& payload, int) {
                router_->Route(topic, payload);
            },
            error);
    }

    void SendKeepAlives() { router_->SendKeepAlives(); }

private:
    // The control command "restart": both tunnel servers go, and come back on the same
    // ports after `pauseMs`.
    bool Restart(int pauseMs, std::string* error)
    {
        std::lock_guard<std::mutex> lock(restartMutex_);
        const int portTransferPort = portTransfer_->Port(), relayPort = relay_->Port();
        portTransfer_->Stop();
        relay_->StopForRestart();
        FarsideLog::Line("relay and port-transfer servers closed for " + std::to_string(pauseMs) + " ms");
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        if (!portTransfer_->Listen(settings_.portTransferHost, portTransferPort, error) ||
            !relay_->Listen(settings_.relayHost, relayPort, error))
            return false;
        portTransfer_->Start();
        relay_->Start();
        FarsideLog::Line("relay and port-transfer servers listening again");
        return true;
    }

    // A simulated device's own server when it runs one, else the inventory's address.
    bool DeviceAddress(const Inventory::Device& device, std::string* host, int* port, std::string* why)
    {
        for (const TcpDeviceServers::Endpoint& endpoint : tcpDevices_.Endpoints()) {
            if (endpoint.deviceSn == device.deviceSn) {
                *host = endpoint.ip;
                *port = endpoint.port;
                return true;
            }
        }
        if (!device.ip || device.ip->empty() || !device.port || *device.port <= 0) {
            *why = "the inventory gives no ip and port for " + device.deviceSn;
            return false;
        }
        *host = *device.ip;
        *port = *device.port;
        return true;
    }

    const FarsideOptions& options_;
    FarsideSettings& settings_;
    const Inventory& inventory_;
    BrokerClient broker_;
    FaultBoard faults_;
    PcReplies replies_;
    LinkTable links_;
    SerialDeviceHub serialDevices_;
    ServiceContext context_;
    FaultCommands commands_;
    ControlChannel control_;
    std::mutex restartMutex_;
    TcpDeviceServers tcpDevices_;
    VpnServerRunner vpnServer_;
    std::unique_ptr<MessageRouter> router_;
    std::unique_ptr<PortTransferServer> portTransfer_;
    std::unique_ptr<RelayServer> relay_;
};

} // namespace

int main(int argc, char** argv)
{
    // Block the stop signals in every thread (the service threads inherit the mask);
    // the main thread waits for them with sigwait and shuts the services down.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    FarsideOptions options;
    std::string error;
    if (!options.Parse(std::vector<std::string>(argv + 1, argv + argc), &error)) {
        FarsideLog::Error(error);
        std::fprintf(stderr, "%s", FarsideOptions::Usage().c_str());
        return 2;
    }
    if (options.help) {
        std::printf("%s", FarsideOptions::Usage().c_str());
        return 0;
    }
    if (options.version) {
        std::printf("lumetra-farside %s\n", LUMETRA_VERSION);
        return 0;
    }

    FarsideSettings settings;
    if (!settings.Load(options.platconfPath, &error)) {
        FarsideLog::Error(error);
        return 2;
    }
    Inventory inventory;
    if (!inventory.Load(options.inventoryPath, &error)) {
        FarsideLog::Error(error);
        return 2;
    }

    std::unique_ptr<TunnelSide> tunnels;
    if (!options.webOnly) {
        tunnels = std::make_unique<TunnelSide>(options, settings, inventory);
        if (!tunnels->Start(&error)) {
            FarsideLog::Error(error);
            return 1;
        }
    }

    WebService web(inventory);
    if (!web.Listen(settings.webHost, settings.webPort, &error)) {
        FarsideLog::Error(error);
        return 1;
    }
    bool webFailed = false;
    auto onWebFailure = [&webFailed] {
        webFailed = true;
        kill(getpid(), SIGTERM); // wake the main thread
    };
    if (!web.Start(onWebFailure, &error)) {
        FarsideLog::Error(error);
        return 1;
    }
    FarsideLog::Line("web service listening on " + web.Url());

    const int signal = WaitForStop(stopSignals, tunnels ? options.keepaliveSeconds : 0, [&tunnels] {
        if (tunnels)
            tunnels->SendKeepAlives();
    });
    web.Stop();
    tunnels.reset();
    if (webFailed) {
        FarsideLog::Error("the web service stopped unexpectedly");
        return 1;
    }
    FarsideLog::Line(std::string("stopped on ") + (signal == SIGINT ? "SIGINT" : "SIGTERM"));
    return 0;
}
