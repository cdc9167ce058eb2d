#pragma once

#include <future>
#include <memory>

class Installation;
namespace platform {
class MessageWindow;
} // namespace platform
class MqttConnection;

// Brings the broker connection up exactly as the window's start-up does: hands the
// PC identifier to the session's connection, makes `target` the receiver of inbound
// messages and starts the MQTT thread with the installation's broker entries. The
// client's own diagnostics go to standard error so standard output carries only
// results.
class CliMqttSession
{
public:
    CliMqttSession();
    ~CliMqttSession();

    CliMqttSession(const CliMqttSession&) = delete;
    CliMqttSession& operator=(const CliMqttSession&) = delete;

    // The session's connection (publishing, the PC identifier, the target window).
    MqttConnection& Connection() { return *connection_; }

    // False (after a message) when the installation lacks the broker entries. The
    // installation outlives the MQTT thread.
    bool Start(const Installation& installation, platform::MessageWindow* target);
    // Disconnects cleanly (no last will).
    void Stop();

private:
    // Shared with the MQTT thread, which keeps it while its loop runs even when the
    // session ends first.
    std::shared_ptr<MqttConnection> connection_;
    // Fulfilled when the MQTT thread's loop has returned.
    std::shared_future<void> threadDone_;
};
