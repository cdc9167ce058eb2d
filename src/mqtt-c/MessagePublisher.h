#pragma once

#include <functional>

struct cJSON;
namespace platform {
class MessageWindow;
} // namespace platform

// What tunnels and controllers need of the broker connection: publishing on a topic
// or on the PC's server topic, the PC identifier the connection subscribes with,
// and the window that receives every inbound message. Publishing is allowed from
// any thread.
class MessagePublisher
{
public:
    virtual ~MessagePublisher() = default;

    // Publishes one message (retain false) and returns the library's result
    // (MOSQ_ERR_SUCCESS, 0, when it was handed over); without a connection nothing
    // is published and MOSQ_ERR_INVAL is returned.
    virtual int Publish(const char* topic, const void* payload, int length, int qos) = 0;
    // The same on the PC's server topic "/<PC identifier>/lumetraToServer".
    virtual int PublishToServer(const void* payload, int length, int qos) = 0;
    // The PC identifier the connection was given (empty until then).
    virtual const char* PcId() const = 0;

    // The window that receives every inbound message (see mqtt_dispatch). Null sends
    // them nowhere.
    virtual void SetTargetWindow(platform::MessageWindow* window) = 0;
    virtual platform::MessageWindow* TargetWindow() const = 0;

    // Prints `root` without white space and publishes it. A message that cannot be
    // printed is not sent and gives -1; otherwise the result of Publish.
    int PublishJson(const char* topic, const cJSON* root, int qos);
    // The same on the PC's server topic.
    int PublishJsonToServer(const cJSON* root, int qos);

    // A release (unbind, link release, channel switch-off): published as Publish
    // does, but one that cannot go out for want of a connection is kept and sent
    // once the broker is back, before anything else. Base: Publish.
    virtual int PublishRelease(const char* topic, const void* payload, int length, int qos);
    // PublishRelease of a printed object; -1 when it cannot be printed.
    int PublishJsonRelease(const char* topic, const cJSON* root, int qos);
    // PublishRelease on the PC's server topic.
    int PublishJsonReleaseToServer(const cJSON* root, int qos);
    // The PC's server topic (empty until the connection made it).
    virtual const char* ServerTopic() const { return ""; }

    // Called on the UI thread after each connection to the broker that follows a
    // lost one (not after the first): whatever the far side freed when the broker
    // published this PC's last will can be taken again. Null: nobody. A handler
    // replaced before a queued call ran is not called. Base: never called.
    virtual void SetReconnectedHandler(std::function<void()> /*handler*/) {}

protected:
    MessagePublisher() = default;
    MessagePublisher(const MessagePublisher&) = default;
    MessagePublisher& operator=(const MessagePublisher&) = default;
};
