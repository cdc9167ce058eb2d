#include "BrokerClient.h"

#include "FarsideLog.h"

#include <mosquitto.h>

#include <chrono>
#include <cstdio>
#include <unistd.h>

namespace {

// The payload as one printable line: control bytes and backslashes escaped.
std::string Printable(const std::string& payload)
{
    std::string text;
    for (unsigned char c : payload) {
        if (c < 0x20 || c == 0x7F || c == '\\') {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\x%02X", c);
            text += escaped;
        } else {
            text += static_cast<char>(c);
        }
    }
    return text;
}

} // namespace

const std::vector<std::string>& BrokerClient::Topics()
{
    static const std::vector<std::string> topics = {"/sys/varnex_binder/sub", "/+/down",
                                                    "/sys/transparent/+/down", "/+/lumetraToServer",
                                                    "/sys/lumetra/pfs/pc"};
    return topics;
}

BrokerClient::BrokerClient()
{
    mosquitto_lib_init();
}

BrokerClient::~BrokerClient()
{
    Stop();
    mosquitto_lib_cleanup();
}

bool BrokerClient::Start(const Settings& settings, Handler handler, std::string* error)
{
    settings_ = settings;
    handler_ = std::move(handler);
    const std::string id = "lumetra-farside-" + std::to_string(getpid());
    mosq_ = mosquitto_new(id.c_str(), true, this);
    if (!mosq_) {
        *error = "cannot create the MQTT client";
        return false;
    }
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    if (!settings.user.empty())
        mosquitto_username_pw_set(mosq_, settings.user.c_str(), settings.password.c_str());
    mosquitto_reconnect_delay_set(mosq_, 1, 2, false);
    mosquitto_connect_callback_set(mosq_, OnConnect);
    mosquitto_disconnect_callback_set(mosq_, OnDisconnect);
    mosquitto_subscribe_callback_set(mosq_, OnSubscribe);
    mosquitto_message_callback_set(mosq_, OnMessage);
    // A broker that is not up yet is not an error: the connector keeps trying.
    connector_ = std::thread([this] { ConnectUntilStopped(); });
    return true;
}

void BrokerClient::ConnectUntilStopped()
{
    const std::string where = settings_.host + ":" + std::to_string(settings_.port);
    bool reported = false;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        lock.unlock();
        const int connected = mosquitto_connect(mosq_, settings_.host.c_str(), settings_.port, 10);
        lock.lock();
        if (connected == MOSQ_ERR_SUCCESS) {
            const int looping = mosquitto_loop_start(mosq_);
            if (looping != MOSQ_ERR_SUCCESS)
                FarsideLog::Error(std::string("cannot start the MQTT network thread: ") +
                                  mosquitto_strerror(looping));
            looping_ = looping == MOSQ_ERR_SUCCESS;
            return;
        }
        if (!reported)
            FarsideLog::Line("broker " + where + " not reachable yet (" + mosquitto_strerror(connected) +
                             "); retrying");
        reported = true;
        stopRequested_.wait_for(lock, std::chrono::seconds(1), [this] { return stopping_; });
    }
}

void BrokerClient::Stop()
{
    if (!mosq_)
        return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    stopRequested_.notify_all();
    if (connector_.joinable())
        connector_.join();
    if (looping_) {
        mosquitto_disconnect(mosq_);
        mosquitto_loop_stop(mosq_, false); // the loop ends once the disconnection is done
        looping_ = false;
    }
    mosquitto_destroy(mosq_);
    mosq_ = nullptr;
}

bool BrokerClient::Publish(const std::string& topic, const std::string& payload, int qos)
{
    if (!mosq_)
        return false;
    return mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(),
                             qos, false) == MOSQ_ERR_SUCCESS;
}

void BrokerClient::OnConnect(mosquitto* mosq, void* self, int result)
{
    auto* client = static_cast<BrokerClient*>(self);
    if (result != 0) {
        FarsideLog::Line(std::string("broker refused the connection: ") + mosquitto_connack_string(result));
        return;
    }
    std::vector<char*> topics;
    for (const std::string& topic : Topics())
        topics.push_back(const_cast<char*>(topic.c_str()));
    int mid = 0;
    const int subscribed = mosquitto_subscribe_multiple(mosq, &mid, static_cast<int>(topics.size()),
                                                        topics.data(), 2, 0, nullptr);
    if (subscribed != MOSQ_ERR_SUCCESS) {
        FarsideLog::Error(std::string("cannot subscribe: ") + mosquitto_strerror(subscribed));
        return;
    }
    std::lock_guard<std::mutex> lock(client->mutex_);
    client->lastSubscribeMid_ = mid;
}

void BrokerClient::OnDisconnect(mosquitto*, void* self, int result)
{
    auto* client = static_cast<BrokerClient*>(self);
    if (result != 0)
        FarsideLog::Line("broker connection lost " + client->settings_.host + ":" +
                         std::to_string(client->settings_.port) + "; reconnecting");
}

void BrokerClient::OnSubscribe(mosquitto*, void* self, int mid, int, const int*)
{
    auto* client = static_cast<BrokerClient*>(self);
    {
        std::lock_guard<std::mutex> lock(client->mutex_);
        if (mid != client->lastSubscribeMid_)
            return;
    }
    FarsideLog::Line("broker connected " + client->settings_.host + ":" +
                     std::to_string(client->settings_.port));
}

void BrokerClient::OnMessage(mosquitto*, void* self, const mosquitto_message* message)
{
    auto* client = static_cast<BrokerClient*>(self);
    const std::string topic = message->topic ? message->topic : "";
    const std::string payload(static_cast<const char*>(message->payload),
                              static_cast<size_t>(message->payloadlen));
    FarsideLog::Line("received " + topic + " qos " + std::to_string(message->qos) + " " + Printable(payload));
    if (client->handler_)
        client->handler_(topic, payload, message->qos);
}
