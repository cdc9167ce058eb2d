#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct mosquitto;
struct mosquitto_message;

// The far side's one connection to the MQTT broker (libmosquitto, its own network
// thread). It subscribes the far side's topics after every (re)connection, logs every
// message it receives as one line ("received <topic> qos <n> <payload>") and hands
// it to the message handler on the network thread, one at a time, in arrival order.
// Until the first connection succeeds it tries again every second; after that the
// library reconnects on its own when the broker goes away and comes back.
class BrokerClient
{
public:
    struct Settings
    {
        std::string host;
        int port = 1883;
        std::string user;
        std::string password;
    };
    using Handler = std::function<void(const std::string& topic, const std::string& payload, int qos)>;

    // The topics the far side listens on.
    static const std::vector<std::string>& Topics();

    BrokerClient();
    ~BrokerClient();
    BrokerClient(const BrokerClient&) = delete;
    BrokerClient& operator=(const BrokerClient&) = delete;

    // Starts connecting (in the background; a broker that is not there yet is
    // retried). False with a reason when the client cannot be set up at all.
    bool Start(const Settings& settings, Handler handler, std::string* error);
    void Stop();

    // Publishes (not retained); false when the library refuses it (for example while
    // disconnected). Safe from any thread.
    bool Publish(const std::string& topic, const std::string& payload, int qos);

private:
    void ConnectUntilStopped();
    static void OnConnect(mosquitto*, void* self, int result);
    static void OnDisconnect(mosquitto*, void* self, int result);
    static void OnSubscribe(mosquitto*, void* self, int mid, int count, const int* granted);
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);

    mosquitto* mosq_ = nullptr;
    Settings settings_;
    Handler handler_;
    std::mutex mutex_;
    std::condition_variable stopRequested_;
    std::thread connector_;
    int lastSubscribeMid_ = -1;
    bool stopping_ = false;
    bool looping_ = false;
};
