#include "support/RecordingPublisher.h"

#include <utility>

RecordingPublisher::RecordingPublisher(std::string pcId) : pcId_(std::move(pcId)) {}

int RecordingPublisher::Publish(const char* topic, const void* payload, int length, int qos)
{
    std::lock_guard<std::mutex> guard(lock_);
    messages_.emplace_back(topic != nullptr ? topic : "",
                           std::string(static_cast<const char*>(payload), length > 0 ? size_t(length) : 0),
                           qos);
    return 0;
}

int RecordingPublisher::PublishToServer(const void* payload, int length, int qos)
{
    return Publish(("/" + pcId_ + "/lumetraToServer").c_str(), payload, length, qos);
}

void RecordingPublisher::SetTargetWindow(platform::MessageWindow* window)
{
    std::lock_guard<std::mutex> guard(lock_);
    target_ = window;
}

platform::MessageWindow* RecordingPublisher::TargetWindow() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return target_;
}

std::vector<RecordingPublisher::Message> RecordingPublisher::Take()
{
    std::lock_guard<std::mutex> guard(lock_);
    return std::exchange(messages_, {});
}
