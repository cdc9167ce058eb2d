#include "support/MqttTestClient.h"

#include <mosquitto.h>

#include <algorithm>
#include <chrono>

MqttTestClient::MqttTestClient(const std::string& clientId)
{
    mosquitto_lib_init();
    mosq_ = mosquitto_new(clientId.c_str(), true, this);
    if (mosq_ != nullptr) {
        mosquitto_connect_callback_set(mosq_, OnConnect);
        mosquitto_subscribe_callback_set(mosq_, OnSubscribe);
        mosquitto_publish_callback_set(mosq_, OnPublish);
        mosquitto_message_callback_set(mosq_, OnMessage);
    }
}

MqttTestClient::~MqttTestClient()
{
    Disconnect();
    if (mosq_ != nullptr)
        mosquitto_destroy(mosq_);
    mosquitto_lib_cleanup();
}

template <typename Predicate> bool MqttTestClient::WaitFor(int timeoutMs, Predicate predicate)
{
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs), predicate);
}

bool MqttTestClient::Connect(const std::string& host, int port, const std::string& user,
                             const std::string& password, int timeoutMs)
{
    if (mosq_ == nullptr)
        return false;
    mosquitto_username_pw_set(mosq_, user.c_str(), password.c_str());
    if (mosquitto_connect(mosq_, host.c_str(), port, 30) != MOSQ_ERR_SUCCESS)
        return false;
    if (!loopStarted_) {
        if (mosquitto_loop_start(mosq_) != MOSQ_ERR_SUCCESS)
            return false;
        loopStarted_ = true;
    }
    // The answer is read inside the wait, under the lock the network thread writes it with.
    int result = -1;
    const bool answered = WaitFor(timeoutMs, [this, &result] {
        result = connackResult_;
        return result >= 0;
    });
    return answered && result == 0;
}

bool MqttTestClient::Subscribe(const std::string& topic, int qos, int timeoutMs)
{
    int mid = 0;
    if (mosquitto_subscribe(mosq_, &mid, topic.c_str(), qos) != MOSQ_ERR_SUCCESS)
        return false;
    return WaitFor(timeoutMs, [&] {
        return std::find(subscribedMids_.begin(), subscribedMids_.end(), mid) != subscribedMids_.end();
    });
}

bool MqttTestClient::Publish(const std::string& topic, const std::string& payload, int qos, int timeoutMs)
{
    int mid = 0;
    if (mosquitto_publish(mosq_, &mid, topic.c_str(), static_cast<int>(payload.size()), payload.data(), qos,
                          false) != MOSQ_ERR_SUCCESS) {
        return false;
    }
    return WaitFor(timeoutMs, [&] {
        return std::find(publishedMids_.begin(), publishedMids_.end(), mid) != publishedMids_.end();
    });
}

void MqttTestClient::Disconnect()
{
    if (mosq_ == nullptr || !loopStarted_)
        return;
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, false);
    loopStarted_ = false;
}

bool MqttTestClient::WaitForMessages(size_t count, int timeoutMs)
{
    return WaitFor(timeoutMs, [&] { return messages_.size() >= count; });
}

std::vector<MqttTestClient::Message> MqttTestClient::Messages()
{
    std::lock_guard<std::mutex> guard(lock_);
    return messages_;
}

void MqttTestClient::OnConnect(struct mosquitto*, void* self, int result)
{
    MqttTestClient* client = static_cast<MqttTestClient*>(self);
    std::lock_guard<std::mutex> guard(client->lock_);
    client->connackResult_ = result;
    client->changed_.notify_all();
}

void MqttTestClient::OnSubscribe(struct mosquitto*, void* self, int mid, int, const int*)
{
    MqttTestClient* client = static_cast<MqttTestClient*>(self);
    std::lock_guard<std::mutex> guard(client->lock_);
    client->subscribedMids_.push_back(mid);
    client->changed_.notify_all();
}

void MqttTestClient::OnPublish(struct mosquitto*, void* self, int mid)
{
    MqttTestClient* client = static_cast<MqttTestClient*>(self);
    std::lock_guard<std::mutex> guard(client->lock_);
    client->publishedMids_.push_back(mid);
    client->changed_.notify_all();
}

void MqttTestClient::OnMessage(struct mosquitto*, void* self, const struct mosquitto_message* message)
{
    MqttTestClient* client = static_cast<MqttTestClient*>(self);
    Message copy;
    copy.topic = message->topic != nullptr ? message->topic : "";
    if (message->payload != nullptr && message->payloadlen > 0) {
        copy.payload.assign(static_cast<const char*>(message->payload),
                            static_cast<size_t>(message->payloadlen));
    }
    copy.qos = message->qos;
    copy.retain = message->retain;
    std::lock_guard<std::mutex> guard(client->lock_);
    client->messages_.push_back(std::move(copy));
    client->changed_.notify_all();
}
