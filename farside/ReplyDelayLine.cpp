#include "ReplyDelayLine.h"

#include <algorithm>

ReplyDelayLine::ReplyDelayLine(Publish publish) : publish_(std::move(publish)), thread_([this] { Run(); }) {}

ReplyDelayLine::~ReplyDelayLine()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void ReplyDelayLine::Post(int delayMs, std::string topic, std::string payload)
{
    Waiting message{std::chrono::steady_clock::now() + std::chrono::milliseconds(delayMs), std::move(topic),
                    std::move(payload)};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // After every message due no later: equal delays keep their order.
        auto at = std::upper_bound(waiting_.begin(), waiting_.end(), message.due,
                                   [](auto due, const Waiting& other) { return due < other.due; });
        waiting_.insert(at, std::move(message));
    }
    changed_.notify_all();
}

void ReplyDelayLine::Run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        if (waiting_.empty()) {
            changed_.wait(lock);
            continue;
        }
        if (std::chrono::steady_clock::now() < waiting_.front().due) {
            changed_.wait_until(lock, waiting_.front().due);
            continue;
        }
        Waiting message = std::move(waiting_.front());
        waiting_.pop_front();
        lock.unlock();
        publish_(message.topic, message.payload);
        lock.lock();
    }
}
