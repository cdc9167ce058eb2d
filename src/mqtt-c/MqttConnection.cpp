#include "mqtt-c/MqttConnection.h"

#include "mqtt-c/mqtt_client_setup.h"
#include "mqtt-c/mqtt_commands.h"
#include "mqtt-c/mqtt_dispatch.h"
#include "mqtt-c/mqtt_topics.h"
#include "platform/UiThread.h"

#include <QTimer>

#include <mosquitto.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

MqttConnection::MqttConnection() = default;

MqttConnection::~MqttConnection()
{
    // A client still set up (Init without Destroy) goes with its library reference;
    // otherwise only the option record is left to free.
    if (client_ != nullptr) {
        Destroy();
    } else {
        mqtt_config_free(&config_);
    }
}

void MqttConnection::SetPcId(const char* text, size_t length)
{
    std::memset(pcId_, 0, sizeof(pcId_));
    if (text != nullptr) {
        std::memcpy(pcId_, text, length < sizeof(pcId_) - 1 ? length : sizeof(pcId_) - 1);
    }
}

void MqttConnection::SetStreams(FILE* out, FILE* err)
{
    out_.store(out);
    err_.store(err);
}

FILE* MqttConnection::Out() const
{
    FILE* out = out_.load();
    return out != nullptr ? out : stdout;
}

FILE* MqttConnection::Err() const
{
    FILE* err = err_.load();
    return err != nullptr ? err : stderr;
}

int MqttConnection::Init(const char* host, int port, const char* username, const char* password)
{
    mqtt_client_args args;
    mqtt_client_build_args(&args, pcId_, host, port, username, password);

    mqtt_config_free(&config_);
    const int rc = mqtt_config_load(&config_, MQTT_CLIENT_SUB, 16, args.argv, Err());
    if (rc != 0) {
        mqtt_config_free(&config_);
        if (rc != 2) {
            std::fprintf(Err(), "\nUse 'mosquitto_sub --help' to see usage.\n");
        }
        return 1;
    }

    {
        std::lock_guard<std::mutex> guard(clientLock_);
        // An identifier too long for the buffer (never one of 20 digits) is cut.
        const int length = std::snprintf(serverTopic_, sizeof(serverTopic_), "/%s/lumetraToServer", pcId_);
        if (length < 0) {
            serverTopic_[0] = '\0';
        }
    }

    mosquitto_lib_init();

    if (mqtt_client_id_generate(&config_, pcId_, Err()) != 0) {
        mqtt_config_free(&config_);
        return 1;
    }

    struct mosquitto* mosq = mosquitto_new(config_.id, config_.clean_session, this);
    if (mosq == nullptr) {
        if (!config_.quiet) {
            if (errno == ENOMEM) {
                std::fprintf(Err(), "Error: Out of memory.\n");
            } else if (errno == EINVAL) {
                std::fprintf(Err(), "Error: Invalid id and/or clean_session.\n");
            }
        }
        mosquitto_lib_cleanup();
        mqtt_config_free(&config_);
        return 1;
    }
    // Publishers on other threads only queue their packets; the network loop on the
    // client thread writes them.
    mosquitto_threaded_set(mosq, true);

    if (mqtt_client_opts_set(mosq, &config_, Err()) != 0) {
        mosquitto_destroy(mosq);
        mqtt_config_free(&config_);
        return 1;
    }

    if (config_.debug) {
        mosquitto_log_callback_set(mosq, OnLog);
    }
    mosquitto_subscribe_callback_set(mosq, OnSubscribe);
    mosquitto_connect_callback_set(mosq, OnConnect);
    mosquitto_message_callback_set(mosq, OnMessage);
    mosquitto_disconnect_callback_set(mosq, OnDisconnect);
    mosquitto_publish_callback_set(mosq, OnPublish);

    std::snprintf(willPayload_, sizeof(willPayload_), kWillPayloadFormat, pcId_, kCmdPcOfflineWill);
    mosquitto_will_set(mosq, kWillTopic, static_cast<int>(std::strlen(willPayload_)), willPayload_, 1, false);

    processing_ = true;
    messageCounter_ = 0;
    std::lock_guard<std::mutex> guard(clientLock_);
    client_ = mosq;
    return 0;
}

int MqttConnection::Connect()
{
    const int rc =
        mosquitto_connect_bind(client_, config_.host, config_.port, config_.keepalive, config_.bind_address);
    if (rc > 0) {
        if (!config_.quiet) {
            if (rc == MOSQ_ERR_ERRNO) {
                std::fprintf(Err(), "Error: %s\n", std::strerror(errno));
            } else {
                std::fprintf(Err(), "Unable to connect (%s).\n", mosquitto_strerror(rc));
            }
            std::fflush(Err());
        }
        mosquitto_lib_cleanup();
    }
    return rc;
}

void MqttConnection::Destroy()
{
    struct mosquitto* mosq = nullptr;
    {
        std::lock_guard<std::mutex> guard(clientLock_);
        mosq = client_;
        client_ = nullptr;
    }
    if (mosq != nullptr) {
        mosquitto_destroy(mosq);
    }
    {
        std::lock_guard<std::mutex> guard(publishLock_);
        unfinishedMids_.clear();
        earlyMids_.clear();
    }
    mosquitto_lib_cleanup();
    mqtt_config_free(&config_);
}

void MqttConnection::Run(const char* host, int port, const char* username, const char* password)
{
    {
        std::lock_guard<std::mutex> guard(clientLock_);
        running_ = true;
    }
    if (Init(host, port, username, password) == 0) {
        Connect();
        bool stop = false;
        {
            std::lock_guard<std::mutex> guard(clientLock_);
            stop = stopRequested_;
        }
        if (stop) {
            // A stop that came before the connection: connecting reset the client's
            // state, so ask again; the loop then ends at once.
            mosquitto_disconnect(client_);
        }
        int rc = mosquitto_loop_forever(client_, -1, 1);
        const bool limited = config_.msg_count > 0;
        Destroy();
        if (limited && rc == MOSQ_ERR_NO_CONN) {
            rc = MOSQ_ERR_SUCCESS;
        }
        if (rc != MOSQ_ERR_SUCCESS) {
            std::fprintf(Err(), "Error: %s\n", mosquitto_strerror(rc));
        }
    }
    std::lock_guard<std::mutex> guard(clientLock_);
    running_ = false;
    stopRequested_ = false;
}

void MqttConnection::Stop()
{
    std::lock_guard<std::mutex> guard(clientLock_);
    if (!running_) {
        return;
    }
    stopRequested_ = true;
    if (client_ != nullptr) {
        mosquitto_disconnect(client_);
    }
}

int MqttConnection::Publish(const char* topic, const void* payload, int length, int qos)
{
    // Kept releases go first.
    if (pendingReleases_.load() > 0) {
        FlushReleases();
    }
    return PublishNow(topic, payload, length, qos);
}

int MqttConnection::PublishRelease(const char* topic, const void* payload, int length, int qos)
{
    if (topic == nullptr || payload == nullptr || length < 0) {
        return MOSQ_ERR_INVAL;
    }
    std::lock_guard<std::mutex> guard(releaseLock_);
    int result = MOSQ_ERR_NO_CONN;
    // Behind releases still kept, or while there is no connection, it is kept too (a
    // message of QoS 1 or 2 handed to the library now would be lost when the
    // program ends before the broker is back).
    if (releases_.empty() && connected_.load()) {
        result = PublishNow(topic, payload, length, qos);
        if (result != MOSQ_ERR_NO_CONN) {
            return result;
        }
    }
    if (releases_.size() >= kMaxPendingReleases) {
        std::fprintf(Err(), "release on %s dropped: %zu releases wait for the broker already\n", topic,
                     releases_.size());
        std::fflush(Err());
        return result;
    }
    releases_.push_back(
        {topic, std::string(static_cast<const char*>(payload), static_cast<size_t>(length)), qos});
    pendingReleases_.store(releases_.size());
    return MOSQ_ERR_SUCCESS;
}

void MqttConnection::FlushReleases()
{
    std::lock_guard<std::mutex> guard(releaseLock_);
    while (!releases_.empty()) {
        const Release& release = releases_.front();
        if (PublishNow(release.topic.c_str(), release.payload.data(),
                       static_cast<int>(release.payload.size()), release.qos) != MOSQ_ERR_SUCCESS) {
            break;
        }
        releases_.pop_front();
    }
    pendingReleases_.store(releases_.size());
}

void MqttConnection::SetReconnectedHandler(std::function<void()> handler)
{
    std::shared_ptr<std::function<void()>> replaced;
    std::lock_guard<std::mutex> guard(releaseLock_);
    replaced = std::move(reconnected_);
    if (handler) {
        reconnected_ = std::make_shared<std::function<void()>>(std::move(handler));
    }
}

bool MqttConnection::WaitForReleases(int timeoutMs) const
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (PendingReleases() == 0 && UnfinishedPublishes() == 0) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

size_t MqttConnection::PendingReleases() const
{
    return pendingReleases_.load();
}

int MqttConnection::PublishNow(const char* topic, const void* payload, int length, int qos)
{
    int mid = 0;
    int result = MOSQ_ERR_INVAL;
    {
        std::lock_guard<std::mutex> guard(clientLock_);
        if (client_ == nullptr) {
            return result;
        }
        result = mosquitto_publish(client_, &mid, topic, length, payload, qos, false);
    }
    NotePublished(result, mid);
    return result;
}

int MqttConnection::PublishToServer(const void* payload, int length, int qos)
{
    // Publish reads the topic under the client lock, which also guards its making.
    return Publish(serverTopic_, payload, length, qos);
}

void MqttConnection::NotePublished(int result, int mid)
{
    if (result != MOSQ_ERR_SUCCESS) {
        return;
    }
    std::lock_guard<std::mutex> guard(publishLock_);
    if (earlyMids_.erase(mid) == 0) {
        unfinishedMids_.insert(mid);
    }
}

size_t MqttConnection::UnfinishedPublishes() const
{
    std::lock_guard<std::mutex> guard(publishLock_);
    return unfinishedMids_.size();
}

void MqttConnection::OnConnect(struct mosquitto* mosq, void* obj, int result)
{
    MqttConnection* self = static_cast<MqttConnection*>(obj);
    const mqtt_config& cfg = self->config_;
    if (result == 0) {
        self->connected_.store(true);
        if (!self->everConnected_) {
            self->FlushReleases();
        } else {
            // Back after a loss. The far side's services come back to a restarted
            // broker at about the same moment: kept releases and the handler (which
            // binds the open tunnels again) wait a moment so that they find them
            // subscribed. Anything published meanwhile still lets the releases go first.
            std::weak_ptr<std::function<void()>> handler;
            {
                std::lock_guard<std::mutex> guard(self->releaseLock_);
                handler = self->reconnected_;
            }
            std::weak_ptr<bool> alive = self->alive_;
            platform::UiThread::Post([self, alive, handler] {
                QTimer::singleShot(kReconnectSettleMs, [self, alive, handler] {
                    if (alive.expired()) {
                        return;
                    }
                    self->FlushReleases();
                    if (const std::shared_ptr<std::function<void()>> call = handler.lock()) {
                        (*call)();
                    }
                });
            });
        }
        self->everConnected_ = true;
        for (int i = 0; i < cfg.topic_count; ++i) {
            mosquitto_subscribe(mosq, nullptr, cfg.topics[i], cfg.qos);
        }
    } else if (!cfg.quiet) {
        std::fprintf(self->Err(), "%s\n", mosquitto_connack_string(result));
        std::fflush(self->Err());
    }
}

void MqttConnection::OnDisconnect(struct mosquitto* /*mosq*/, void* obj, int result)
{
    MqttConnection* self = static_cast<MqttConnection*>(obj);
    self->connected_.store(false);
    if (result != 0 && !self->config_.quiet) {
        std::fprintf(self->Err(), "%s\n", mosquitto_connack_string(result));
        std::fflush(self->Err());
    }
}

void MqttConnection::OnSubscribe(struct mosquitto* /*mosq*/, void* obj, int mid, int qosCount,
                                 const int* grantedQos)
{
    const MqttConnection* self = static_cast<const MqttConnection*>(obj);
    if (self->config_.quiet) {
        return;
    }
    FILE* out = self->Out();
    std::fprintf(out, "Subscribed (mid: %d): %d", mid, qosCount > 0 ? grantedQos[0] : -1);
    for (int i = 1; i < qosCount; ++i) {
        std::fprintf(out, ", %d", grantedQos[i]);
    }
    std::fprintf(out, "\n");
    std::fflush(out);
}

void MqttConnection::HandOn(const struct mosquitto_message* message)
{
    const size_t size = static_cast<size_t>(message->payloadlen) + std::strlen(message->topic);
    if (pendingBytes_->load() + size > kMaxPendingBytes) {
        if (!reportedBacklog_) {
            std::fprintf(Err(), "inbound messages dropped: the window has %zu bytes still to handle\n",
                         pendingBytes_->load());
            std::fflush(Err());
            reportedBacklog_ = true;
        }
        return;
    }
    reportedBacklog_ = false;
    pendingBytes_->fetch_add(size);
    std::string topic(message->topic);
    std::string payload(static_cast<const char*>(message->payload), static_cast<size_t>(message->payloadlen));
    platform::UiThread::Post([target = TargetWindow(), pending = pendingBytes_, size,
                              topic = std::move(topic), payload = std::move(payload)]() {
        pending->fetch_sub(size);
        mqtt_dispatch(target, topic.c_str(), payload.data(), static_cast<int>(payload.size()));
    });
}

void MqttConnection::OnMessage(struct mosquitto* mosq, void* obj, const struct mosquitto_message* message)
{
    MqttConnection* self = static_cast<MqttConnection*>(obj);
    const mqtt_config& cfg = self->config_;
    if (!self->processing_ || message == nullptr) {
        return;
    }
    if (message->retain && cfg.no_retain) {
        return;
    }
    for (int i = 0; i < cfg.filter_out_count; ++i) {
        bool matches = false;
        mosquitto_topic_matches_sub(cfg.filter_outs[i], message->topic, &matches);
        if (matches) {
            return;
        }
    }

    FILE* out = self->Out();
    // Each message is printed whole: the UI thread writes its own lines meanwhile.
    flockfile(out);
    if (cfg.verbose) {
        if (message->payloadlen > 0 && message->payload != nullptr) {
            std::fprintf(out, "%s ", message->topic);
            std::fwrite(message->payload, 1, static_cast<size_t>(message->payloadlen), out);
            if (cfg.eol) {
                std::fprintf(out, "\n");
            }
            std::fflush(out);
        } else if (cfg.eol) {
            std::fprintf(out, "%s (null)\n", message->topic);
        }
        std::fflush(out);
    } else {
        if (message->payloadlen > 0 && message->payload != nullptr) {
            std::fwrite(message->payload, 1, static_cast<size_t>(message->payloadlen), out);
            if (cfg.eol) {
                std::fprintf(out, "\n");
            }
            std::fflush(out);
        }
    }
    funlockfile(out);
    if (cfg.verbose && message->payloadlen > 0 && message->payload != nullptr) {
        self->HandOn(message);
    }

    if (cfg.msg_count > 0) {
        ++self->messageCounter_;
        if (self->messageCounter_ == cfg.msg_count) {
            self->processing_ = false;
            mosquitto_disconnect(mosq);
        }
    }
}

void MqttConnection::OnPublish(struct mosquitto* /*mosq*/, void* obj, int mid)
{
    MqttConnection* self = static_cast<MqttConnection*>(obj);
    {
        std::lock_guard<std::mutex> guard(self->publishLock_);
        if (self->unfinishedMids_.erase(mid) == 0) {
            self->earlyMids_.insert(mid);
        }
    }
    std::fprintf(self->Out(), "publish cb\n");
    std::fflush(self->Out());
}

void MqttConnection::OnLog(struct mosquitto* /*mosq*/, void* obj, int /*level*/, const char* str)
{
    const MqttConnection* self = static_cast<const MqttConnection*>(obj);
    std::fprintf(self->Out(), "%s\n", str != nullptr ? str : "");
    std::fflush(self->Out());
}
