#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// Holds messages for the PCs back for a while and hands them to `publish` on a thread
// of its own once their time comes (the fault switch "answerDelayMs"), so the thread
// that answered is never held up. Messages still waiting when the line goes are
// dropped.
class ReplyDelayLine
{
public:
    using Publish = std::function<void(const std::string& topic, const std::string& payload)>;

    explicit ReplyDelayLine(Publish publish);
    ~ReplyDelayLine();
    ReplyDelayLine(const ReplyDelayLine&) = delete;
    ReplyDelayLine& operator=(const ReplyDelayLine&) = delete;

    void Post(int delayMs, std::string topic, std::string payload);

private:
    struct Waiting
    {
        std::chrono::steady_clock::time_point due;
        std::string topic;
        std::string payload;
    };

    void Run();

    Publish publish_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Waiting> waiting_; // in due order
    bool stopping_ = false;
    std::thread thread_;
};
