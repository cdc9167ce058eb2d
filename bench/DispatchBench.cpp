#include "Benchmarks.h"
#include "CountingTunnel.h"
#include "MqttPeer.h"
#include "Report.h"

#include "cloud/CNodeDevice.h"
#include "cloud/CNodeGateway.h"
#include "control/GatewayDetailController.h"
#include "control/Session.h"
#include "mqtt-c/MqttConnection.h"
#include "platform/WindowMessages.h"
#include "support/MosquittoBroker.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Published as the far side publishes its answers to a PC.
constexpr int kQos = 1;
// At most this many messages are on their way to the receiver at any time: half of
// the broker's default queue per client (1000), beyond which it drops QoS 1 messages
// for a receiver that does not keep up.
constexpr uint32_t kWindow = 500;

int Fail(const std::string& what)
{
    std::printf("dispatch: FAILED: %s\n", what.c_str());
    return 1;
}

// Runs the UI thread's events until `done()` holds, or nothing changed `progress()`
// for `quietMs`. Returns done().
template <typename Done, typename Progress> bool PumpUntil(Done done, Progress progress, int quietMs)
{
    auto seen = progress();
    Clock::time_point lastChange = Clock::now();
    // The loop sleeps until an event comes, as the program's own event loop does (a
    // spinning loop would take a core from the threads under measurement); the timer
    // bounds each wait so that a quiet spell is noticed.
    QTimer tick;
    tick.start(20);
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        if (progress() != seen) {
            seen = progress();
            lastChange = Clock::now();
        } else if (Clock::now() - lastChange > std::chrono::milliseconds(quietMs)) {
            return false;
        }
    }
    return true;
}

struct Rate
{
    double perSecond = 0;
    uint32_t received = 0;
    uint32_t outOfOrder = 0;
};

Rate RateOf(uint32_t received, uint32_t outOfOrder, Clock::time_point start, Clock::time_point last)
{
    Rate rate;
    rate.received = received;
    rate.outOfOrder = outOfOrder;
    const double seconds = std::chrono::duration<double>(last - start).count();
    rate.perSecond = seconds > 0 ? received / seconds : 0;
    return rate;
}

} // namespace

int RunDispatchBench(const BenchSettings& settings, Report& report)
{
    MosquittoBroker broker;
    if (!broker.Start()) {
        return Fail("broker: " + broker.Error().toStdString());
    }
    const std::string pcId = "BENCH-PC-" + std::to_string(getpid());
    const std::string topic = "/" + pcId + "/lumetraToPC";
    const uint32_t count = static_cast<uint32_t>(settings.messages);
    MqttPeer farSide("bench-far-side");
    if (!farSide.Connect(broker.Host(), broker.Port(), broker.User(), broker.Password())) {
        return Fail("the publisher cannot connect");
    }

    // Baseline: a plain subscriber with the client's subscription (QoS 2) that parses
    // every message and checks its number.
    Rate baseline;
    {
        MqttPeer subscriber("bench-plain-subscriber");
        if (!subscriber.Connect(broker.Host(), broker.Port(), broker.User(), broker.Password()) ||
            !subscriber.Subscribe(topic, 2)) {
            return Fail("the baseline subscriber cannot subscribe");
        }
        const Clock::time_point start = Clock::now();
        if (!farSide.PublishSequence(
                topic, 1, count, kQos, [&] { return subscriber.Received(); }, kWindow)) {
            return Fail("publishing failed");
        }
        subscriber.WaitForReceived(count, 5000);
        baseline = RateOf(subscriber.Received(), subscriber.OutOfOrder(), start, subscriber.LastArrival());
    }

    // The client: its MQTT thread, the dispatch to the gateway detail controller (the
    // target window) and the controller's routing to the active tunnel.
    // The client prints every message it receives; here that goes to /dev/null.
    FILE* quiet = std::fopen("/dev/null", "w");
    MqttConnection connection;
    connection.SetStreams(quiet != nullptr ? quiet : stderr, quiet != nullptr ? quiet : stderr);
    connection.SetPcId(pcId.c_str(), pcId.size());
    Session session{CCloudClient()}; // no account: the gateway comes with its device
    GatewayDetailController controller{session, TunnelServices{&connection}};
    connection.SetTargetWindow(&controller);
    CNodeGateway gateway;
    gateway.gwSn = MqttPeer::kGateway;
    CNodeDevice device;
    device.deviceSn = QString::fromLatin1(MqttPeer::kDevice);
    device.tunType = kTunTypeLocalPortForward;
    CountingTunnel tunnel(&gateway, &device);
    controller.OnTunnelOpened(tunnel);

    std::atomic<bool> clientDone{false};
    const std::string host = broker.Host();
    const std::string user = broker.User();
    const std::string password = broker.Password();
    const int port = broker.Port();
    std::thread client([&] {
        connection.Run(host.c_str(), port, user.c_str(), password.c_str());
        clientDone = true;
    });

    // Probes (number 0) until one comes through: the subscription is in place.
    bool subscribed = false;
    for (int attempt = 0; attempt < 200 && !subscribed; ++attempt) {
        farSide.PublishSequence(topic, 0, 1, kQos);
        subscribed = PumpUntil([&] { return tunnel.Probes() > 0; }, [] { return 0; }, 50);
    }
    Rate product;
    uint32_t misrouted = 0;
    if (subscribed) {
        const Clock::time_point start = Clock::now();
        std::thread publisher([&] {
            farSide.PublishSequence(
                topic, 1, count, kQos, [&] { return tunnel.Received(); }, kWindow);
        });
        PumpUntil([&] { return tunnel.Received() >= count; }, [&] { return tunnel.Received(); }, 5000);
        publisher.join();
        product = RateOf(tunnel.Received(), tunnel.OutOfOrder(), start, tunnel.LastArrival());
        misrouted = tunnel.Misrouted();
    }

    connection.Stop();
    // The MQTT thread may wait inside a dispatch for this (the UI) thread.
    while (!clientDone) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    client.join();
    controller.OnTunnelClosed(tunnel);
    connection.SetTargetWindow(nullptr);
    connection.SetStreams(stdout, stderr);
    if (quiet != nullptr) {
        std::fclose(quiet);
    }
    farSide.Disconnect();
    if (!subscribed) {
        return Fail("the client's subscription never delivered a probe");
    }

    std::printf("inbound dispatch, %u messages (cmdId 2988, QoS %d), at most %u on their way at a time\n",
                count, kQos, kWindow);
    std::printf("  %-44s %10s %10s %12s\n", "", "msgs/s", "received", "out of order");
    std::printf("  %-44s %10.0f %10u %12u\n", "client: MQTT thread -> dispatch -> OnMessage",
                product.perSecond, product.received, product.outOfOrder);
    std::printf("  %-44s %10.0f %10u %12u\n", "baseline: plain subscriber, parse only", baseline.perSecond,
                baseline.received, baseline.outOfOrder);
    const bool complete = product.received == count && product.outOfOrder == 0 && misrouted == 0;
    std::printf("  all %u in order: %s\n", count, complete ? "yes" : "NO");
    report.Add({"dispatch", "inbound messages", "msg/s", product.perSecond, baseline.perSecond, std::nullopt,
                "dispatch >= 20000 msg/s, all in order", product.perSecond >= 20000 && complete});
    return 0;
}
