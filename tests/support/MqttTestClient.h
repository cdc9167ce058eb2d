#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

struct mosquitto;
struct mosquitto_message;

// The second MQTT client of a test: it plays the far side (gateways, services) by
// publishing to the PC's topic and by subscribing to what the PC publishes. It runs
// libmosquitto's own network thread; received messages are queued for the test.
class MqttTestClient
{
public:
    struct Message
    {
        std::string topic;
        std::string payload;
        // The QoS of the delivery: the lower of the publisher's and the subscription's,
        // so a subscription with QoS 2 shows the QoS the publisher used.
        int qos = 0;
        bool retain = false;
    };

    explicit MqttTestClient(const std::string& clientId);
    ~MqttTestClient();

    MqttTestClient(const MqttTestClient&) = delete;
    MqttTestClient& operator=(const MqttTestClient&) = delete;

    // Connects and waits for the broker's answer; false on refusal or time-out.
    bool Connect(const std::string& host, int port, const std::string& user, const std::string& password,
                 int timeoutMs = 10000);
    // Subscribes and waits for the acknowledgement.
    bool Subscribe(const std::string& topic, int qos, int timeoutMs = 10000);
    // Publishes and waits until the message has left (QoS 0) or was acknowledged.
    bool Publish(const std::string& topic, const std::string& payload, int qos = 0, int timeoutMs = 10000);
    void Disconnect();

    // Waits until at least `count` messages have arrived; false at the time-out.
    bool WaitForMessages(size_t count, int timeoutMs = 10000);
    std::vector<Message> Messages();

private:
    static void OnConnect(struct mosquitto*, void* self, int result);
    static void OnSubscribe(struct mosquitto*, void* self, int mid, int count, const int* granted);
    static void OnPublish(struct mosquitto*, void* self, int mid);
    static void OnMessage(struct mosquitto*, void* self, const struct mosquitto_message* message);

    template <typename Predicate> bool WaitFor(int timeoutMs, Predicate predicate);

    struct mosquitto* mosq_ = nullptr;
    bool loopStarted_ = false;
    std::mutex lock_;
    std::condition_variable changed_;
    int connackResult_ = -1;
    std::vector<int> subscribedMids_;
    std::vector<int> publishedMids_;
    std::vector<Message> messages_;
};
