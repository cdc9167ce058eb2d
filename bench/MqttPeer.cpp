#include "MqttPeer.h"

#include "app/JsonPtr.h"

#include <cjson/cJSON.h>
#include <mosquitto.h>

#include <string>
#include <thread>

namespace {

// Initialises libmosquitto once for the process.
void InitLibrary()
{
    static const int done = mosquitto_lib_init();
    (void)done;
}

} // namespace

MqttPeer::MqttPeer(const std::string& clientId)
{
    InitLibrary();
    mosq_ = mosquitto_new(clientId.c_str(), true, this);
    if (mosq_ != nullptr) {
        mosquitto_connect_callback_set(mosq_, &MqttPeer::OnConnect);
        mosquitto_subscribe_callback_set(mosq_, &MqttPeer::OnSubscribe);
        mosquitto_message_callback_set(mosq_, &MqttPeer::OnMessage);
    }
}

MqttPeer::~MqttPeer()
{
    Disconnect();
    if (mosq_ != nullptr) {
        mosquitto_destroy(mosq_);
    }
}

bool MqttPeer::Connect(const std::string& host, int port, const std::string& user,
                       const std::string& password)
{
    if (mosq_ == nullptr) {
        return false;
    }
    mosquitto_username_pw_set(mosq_, user.c_str(), password.c_str());
    if (mosquitto_connect(mosq_, host.c_str(), port, 30) != MOSQ_ERR_SUCCESS ||
        mosquitto_loop_start(mosq_) != MOSQ_ERR_SUCCESS) {
        return false;
    }
    loopStarted_ = true;
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_for(guard, std::chrono::seconds(10), [this] { return connackResult_ >= 0; }) &&
           connackResult_ == 0;
}

bool MqttPeer::Subscribe(const std::string& topic, int qos)
{
    if (mosquitto_subscribe(mosq_, nullptr, topic.c_str(), qos) != MOSQ_ERR_SUCCESS) {
        return false;
    }
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_for(guard, std::chrono::seconds(10), [this] { return subscribed_; });
}

bool MqttPeer::PublishSequence(const std::string& topic, uint32_t first, uint32_t count, int qos,
                               const std::function<uint32_t()>& delivered, uint32_t window)
{
    for (uint32_t sn = first; sn < first + count; ++sn) {
        while (window > 0 && sn - first >= delivered() + window) {
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        const std::string payload = DataMessage(sn);
        if (mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(),
                              qos, false) != MOSQ_ERR_SUCCESS) {
            return false;
        }
    }
    return true;
}

void MqttPeer::Disconnect()
{
    if (loopStarted_) {
        mosquitto_disconnect(mosq_);
        mosquitto_loop_stop(mosq_, false);
        loopStarted_ = false;
    }
}

std::string MqttPeer::DataMessage(uint32_t sn)
{
    // 64 bytes of device data in Base64, as the relay server sends them.
    static const std::string kPayload(88, 'A');
    return std::string(R"({"cmdId":2988,"gw_sn":")") + kGateway + R"(","dev_sn":")" + kDevice +
           R"(","pt_sn":)" + std::to_string(sn) + R"(,"pt_payload":")" + kPayload + "\"}";
}

bool MqttPeer::WaitForReceived(uint32_t count, int quietMs)
{
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        const uint32_t before = received_;
        if (changed_.wait_for(guard, std::chrono::milliseconds(quietMs),
                              [&] { return received_ >= count; })) {
            return true;
        }
        if (received_ == before) {
            return false;
        }
    }
}

uint32_t MqttPeer::Received() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return received_;
}

uint32_t MqttPeer::OutOfOrder() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return outOfOrder_;
}

MqttPeer::Clock::time_point MqttPeer::LastArrival() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return last_;
}

void MqttPeer::OnConnect(struct mosquitto*, void* self, int result)
{
    MqttPeer* peer = static_cast<MqttPeer*>(self);
    std::lock_guard<std::mutex> guard(peer->lock_);
    peer->connackResult_ = result;
    peer->changed_.notify_all();
}

void MqttPeer::OnSubscribe(struct mosquitto*, void* self, int, int, const int*)
{
    MqttPeer* peer = static_cast<MqttPeer*>(self);
    std::lock_guard<std::mutex> guard(peer->lock_);
    peer->subscribed_ = true;
    peer->changed_.notify_all();
}

void MqttPeer::OnMessage(struct mosquitto*, void* self, const struct mosquitto_message* message)
{
    // Parsed as the client parses every message, then checked for its number.
    const std::string text(static_cast<const char*>(message->payload),
                           static_cast<size_t>(message->payloadlen));
    const JsonPtr json(cJSON_Parse(text.c_str()));
    const cJSON* sn = cJSON_GetObjectItem(json.get(), "pt_sn");
    MqttPeer* peer = static_cast<MqttPeer*>(self);
    if (cJSON_IsNumber(sn) && sn->valuedouble >= 1) {
        std::lock_guard<std::mutex> guard(peer->lock_);
        const uint32_t number = static_cast<uint32_t>(sn->valuedouble);
        peer->outOfOrder_ += number != peer->expected_ ? 1 : 0;
        peer->expected_ = number + 1;
        ++peer->received_;
        peer->last_ = Clock::now();
        peer->changed_.notify_all();
    }
}
