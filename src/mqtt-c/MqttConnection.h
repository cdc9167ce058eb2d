#pragma once

#include "mqtt-c/MessagePublisher.h"
#include "mqtt-c/mqtt_config.h"

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>

struct mosquitto;
struct mosquitto_message;

// One connection to the MQTT broker: the libmosquitto client, its option record,
// the PC identifier, the server topic and the will payload. The client runs on its
// own thread (Run); publishing is allowed from any thread. Inbound messages go to
// the target window (mqtt_dispatch). The library's callbacks reach the connection
// through their userdata pointer.
//
// Destroy a connection only when no thread runs it any more (Run has returned or
// was never called).
class MqttConnection : public MessagePublisher
{
public:
    MqttConnection();
    ~MqttConnection() override;

    MqttConnection(const MqttConnection&) = delete;
    MqttConnection& operator=(const MqttConnection&) = delete;

    // Copies the PC identifier (at most 259 characters). Call it before the client
    // thread starts.
    void SetPcId(const char* text, size_t length);
    // Where the connection writes its diagnostics (null: stdout and stderr). Set
    // before the client thread starts.
    void SetStreams(FILE* out, FILE* err);

    // The thread body: sets the client up with the built-in argument list, connects
    // and runs the network loop, which reconnects on its own. Returns only when the
    // loop ends (Stop, or a fatal error) or when set-up fails.
    void Run(const char* host, int port, const char* username, const char* password);
    // Ends a running Run: disconnects cleanly (no will) and lets the loop return. For
    // an orderly shutdown of the command-line client and of tests; the window
    // program never calls it.
    void Stop();

    // MessagePublisher
    int Publish(const char* topic, const void* payload, int length, int qos) override;
    int PublishToServer(const void* payload, int length, int qos) override;
    const char* PcId() const override { return pcId_; }
    // Kept while the broker cannot be reached (see PendingReleases).
    int PublishRelease(const char* topic, const void* payload, int length, int qos) override;
    const char* ServerTopic() const override { return serverTopic_; }
    // UI thread.
    void SetReconnectedHandler(std::function<void()> handler) override;
    void SetTargetWindow(platform::MessageWindow* window) override { targetWindow_.store(window); }
    platform::MessageWindow* TargetWindow() const override { return targetWindow_.load(); }

    // How many published messages the library has not finished with: QoS 0 ones not
    // yet written, QoS 1 and 2 ones not yet acknowledged by the broker. A message of
    // QoS 2 reaches the subscribers only once its exchange is complete, so an
    // orderly stop waits for 0 before it disconnects.
    size_t UnfinishedPublishes() const;
    // Releases kept for want of a connection and not yet handed to the library. They
    // go out first after the next connection; an orderly stop waits for 0 as well.
    size_t PendingReleases() const;
    // Most releases kept; a release beyond is dropped (said on the error stream).
    static constexpr size_t kMaxPendingReleases = 256;
    // After a reconnection, how long kept releases and the reconnection handler wait.
    static constexpr int kReconnectSettleMs = 1000;
    // How long a program that ends waits for its kept releases to go out.
    static constexpr int kReleaseWaitMs = 5000;
    // Waits (sleeping, any thread but the client thread) until no release is kept
    // and every publish is finished, at most `timeoutMs`. True when that happened.
    bool WaitForReleases(int timeoutMs) const;

    // The set-up steps of Run, for tests and diagnostics.
    // Loads the options, creates the client with its will and callbacks. Returns 0
    // on success, non-zero when set-up failed (the client is then absent).
    int Init(const char* host, int port, const char* username, const char* password);
    // Destroys the client and frees the option record.
    void Destroy();
    // The option record (loaded between Init and Destroy).
    const mqtt_config& Config() const { return config_; }

    // Most bytes of inbound messages that may wait for the UI thread; a message that
    // would go beyond is dropped (said once per backlog on the error stream), so a
    // flood from the broker cannot grow the client without bound.
    static constexpr size_t kMaxPendingBytes = 64u << 20;

private:
    int Connect();
    // Hands one message to the library and notes it as unfinished.
    int PublishNow(const char* topic, const void* payload, int length, int qos);
    // Publishes the kept releases in order while the library takes them.
    void FlushReleases();
    // Copies one inbound message and queues its dispatch on the UI thread: the client
    // thread never waits for the window (a box left open must not cost the keep-alive).
    void HandOn(const struct mosquitto_message* message);
    void NotePublished(int result, int mid);
    FILE* Out() const;
    FILE* Err() const;

    // The library's callbacks (client thread); `obj` is the connection.
    static void OnConnect(struct mosquitto* mosq, void* obj, int result);
    static void OnDisconnect(struct mosquitto* mosq, void* obj, int result);
    static void OnSubscribe(struct mosquitto* mosq, void* obj, int mid, int qosCount, const int* grantedQos);
    static void OnMessage(struct mosquitto* mosq, void* obj, const struct mosquitto_message* message);
    static void OnPublish(struct mosquitto* mosq, void* obj, int mid);
    static void OnLog(struct mosquitto* mosq, void* obj, int level, const char* str);

    // The client handle is written only by the client thread (set-up and destroy)
    // and read by publishers on any thread; the lock keeps a publisher from using a
    // client that is being destroyed. It is never held while waiting for the UI
    // thread.
    mutable std::mutex clientLock_;
    struct mosquitto* client_ = nullptr;
    bool running_ = false;
    bool stopRequested_ = false;

    // Written during set-up on the client thread; the server topic is also read by
    // publishers, under clientLock_.
    mqtt_config config_{};
    char pcId_[260] = {};
    char serverTopic_[264] = {};
    char willPayload_[600] = {};

    // Messages handed to the library whose publish callback has not come yet (QoS 0:
    // not written yet; QoS 1 and 2: not acknowledged yet), by message id, and the ids
    // whose callback came before their publisher could note them. Never held while
    // calling into the library.
    mutable std::mutex publishLock_;
    std::set<int> unfinishedMids_;
    std::set<int> earlyMids_;

    // Releases kept while the broker could not be reached, in order, and their count
    // (read without the lock by every Publish).
    struct Release
    {
        std::string topic;
        std::string payload;
        int qos = 0;
    };
    mutable std::mutex releaseLock_;
    std::deque<Release> releases_;
    std::atomic<size_t> pendingReleases_{0};
    // The reconnection handler (set on the UI thread, under releaseLock_); a queued
    // call holds it weakly.
    std::shared_ptr<std::function<void()>> reconnected_;
    // Expires with the connection: queued work of the UI thread checks it.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    // Set by the connect callback, cleared by the disconnect callback.
    std::atomic<bool> connected_{false};

    // Client thread only.
    bool everConnected_ = false;
    bool processing_ = true;
    int messageCounter_ = 0;

    // Bytes of inbound messages handed to the UI thread and not yet dispatched there.
    // Shared with the queued work, which may outlive the connection.
    std::shared_ptr<std::atomic<size_t>> pendingBytes_ = std::make_shared<std::atomic<size_t>>(0);
    bool reportedBacklog_ = false; // client thread only

    std::atomic<platform::MessageWindow*> targetWindow_{nullptr};
    std::atomic<FILE*> out_{nullptr};
    std::atomic<FILE*> err_{nullptr};
};
