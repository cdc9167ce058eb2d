#pragma once

// The program's MQTT client (a connection of its own) run on its own thread, as the
// window program runs it, while the test's thread is the UI thread: whatever waits
// here keeps handling the messages the MQTT thread sends (the client may be waiting
// in SendWindowMessage).

#include "mqtt-c/MqttConnection.h"
#include "support/MosquittoBroker.h"
#include "support/MqttTestClient.h"
#include "support/PumpUntil.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>

class MqttClientThread
{
public:
    ~MqttClientThread() { Stop(); }

    // The connection the thread runs: set its PC identifier, streams and target
    // window before Start.
    MqttConnection& Connection() { return *connection_; }

    void Start(const MosquittoBroker& broker, const std::string& user = MosquittoBroker::kUser,
               const std::string& password = MosquittoBroker::kPassword)
    {
        finished_ = false;
        thread_ = std::thread(
            [this, connection = connection_, host = broker.Host(), port = broker.Port(), user, password] {
                connection->Run(host.c_str(), port, user.c_str(), password.c_str());
                finished_ = true;
            });
    }
    // Asks the client to end and waits for its thread; false when it did not end.
    bool Stop()
    {
        if (!thread_.joinable())
            return true;
        const bool ended = PumpUntil(
            [this] {
                connection_->Stop();
                return finished_.load();
            },
            15000);
        ended ? thread_.join() : thread_.detach();
        return ended;
    }
    // Waits until the broker granted the client's subscription to the PC's topic
    // for the `count`-th time.
    static bool WaitSubscribed(const MosquittoBroker& broker, const std::string& pcId, int count = 1)
    {
        const QString line = QString::fromStdString(" 2 /" + pcId + "/lumetraToPC");
        return PumpUntil([&] { return broker.CountLogLines(line) >= count; }, 30000);
    }

private:
    // Shared with the thread, which keeps it should the thread have to be left running.
    std::shared_ptr<MqttConnection> connection_ = std::make_shared<MqttConnection>();
    std::thread thread_;
    std::atomic<bool> finished_{false};
};

// Publishes from `client` on another thread while this one keeps handling messages.
inline bool PublishPumping(MqttTestClient& client, const std::string& topic, const std::string& payload,
                           int qos = 1)
{
    std::atomic<int> result{-1};
    std::thread publisher([&] { result = client.Publish(topic, payload, qos) ? 1 : 0; });
    PumpUntil([&] { return result.load() >= 0; }, 15000);
    publisher.join();
    return result == 1;
}
