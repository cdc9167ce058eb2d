#pragma once

// A publisher that keeps what it is given instead of sending it: the edge where a
// tunnel's outbound messages leave the program, for tests that check the exact
// topic, bytes and QoS without a broker.

#include "mqtt-c/MessagePublisher.h"

#include <mutex>
#include <string>
#include <tuple>
#include <vector>

class RecordingPublisher : public MessagePublisher
{
public:
    // (topic, payload, QoS); PublishToServer records "/<PC identifier>/lumetraToServer".
    using Message = std::tuple<std::string, std::string, int>;

    explicit RecordingPublisher(std::string pcId = "17250000001234567890");

    int Publish(const char* topic, const void* payload, int length, int qos) override;
    int PublishToServer(const void* payload, int length, int qos) override;
    const char* PcId() const override { return pcId_.c_str(); }
    void SetTargetWindow(platform::MessageWindow* window) override;
    platform::MessageWindow* TargetWindow() const override;

    // What was published since the last call, in order.
    std::vector<Message> Take();

private:
    const std::string pcId_;
    mutable std::mutex lock_;
    std::vector<Message> messages_;
    platform::MessageWindow* target_ = nullptr;
};
