#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

struct mosquitto;
struct mosquitto_message;

// A plain libmosquitto client with its own network thread, for the dispatch
// benchmark: it publishes numbered data messages as the far side does (cmdId 2988
// with "pt_sn" counting up), and as the baseline subscriber it counts the numbered
// messages it receives and checks their order.
class MqttPeer
{
public:
    using Clock = std::chrono::steady_clock;

    explicit MqttPeer(const std::string& clientId);
    ~MqttPeer();
    MqttPeer(const MqttPeer&) = delete;
    MqttPeer& operator=(const MqttPeer&) = delete;

    // Connects and waits for the broker's answer.
    bool Connect(const std::string& host, int port, const std::string& user, const std::string& password);
    // Subscribes and waits for the acknowledgement.
    bool Subscribe(const std::string& topic, int qos);
    // Hands the messages numbered first .. first+count-1 to the library (which sends
    // them from its thread) without waiting for acknowledgements. With a window, a
    // message waits until fewer than `window` of those before it are still on their
    // way (`delivered` tells how many arrived), so the broker never holds more than
    // that for the receiver.
    bool PublishSequence(const std::string& topic, uint32_t first, uint32_t count, int qos,
                         const std::function<uint32_t()>& delivered = nullptr, uint32_t window = 0);
    void Disconnect();

    // The data message with number `sn` for the benchmark's device.
    static std::string DataMessage(uint32_t sn);
    static constexpr const char* kGateway = "GW-BENCH-01";
    static constexpr const char* kDevice = "ECHO-NET";

    // Waits until `count` numbered messages arrived or none came for `quietMs`.
    bool WaitForReceived(uint32_t count, int quietMs);
    uint32_t Received() const;
    uint32_t OutOfOrder() const;
    Clock::time_point LastArrival() const;

private:
    static void OnConnect(struct mosquitto*, void* self, int result);
    static void OnSubscribe(struct mosquitto*, void* self, int mid, int count, const int* granted);
    static void OnMessage(struct mosquitto*, void* self, const struct mosquitto_message* message);

    struct mosquitto* mosq_ = nullptr;
    bool loopStarted_ = false;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    int connackResult_ = -1;
    bool subscribed_ = false;
    uint32_t received_ = 0;
    uint32_t expected_ = 1;
    uint32_t outOfOrder_ = 0;
    Clock::time_point last_;
};
