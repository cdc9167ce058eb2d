#pragma once

#include "endpoint/CSerialIO.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// What a serial endpoint reported, in order, from whatever thread; kept apart from
// the endpoint so it can be read after the endpoint is gone.
class SerialEventLog
{
public:
    enum class Kind
    {
        Open,
        Close,
        Receive,
        Send
    };
    struct Event
    {
        Kind kind;
        int value = 0;    // the result, or the byte count
        std::string data; // received bytes
        std::thread::id thread = std::this_thread::get_id();
    };
    using Events = std::vector<Event>;

    void Add(Kind kind, int value, const char* data = nullptr, int length = 0)
    {
        std::lock_guard<std::mutex> guard(lock_);
        events_.push_back(
            {kind, value,
             data != nullptr && length > 0 ? std::string(data, static_cast<size_t>(length)) : ""});
        changed_.notify_all();
    }
    Events Get() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return events_;
    }
    // Waits until `done(events)` holds or the time-out passes; returns the final value.
    bool WaitFor(const std::function<bool(const Events&)>& done, int timeoutMs = 10000) const
    {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return done(events_); });
    }
    // Waits until `count` events of `kind` have come.
    bool WaitForCount(Kind kind, size_t count, int timeoutMs = 10000) const
    {
        return WaitFor([&](const Events& events) { return Count(events, kind) >= count; }, timeoutMs);
    }
    // The value of the first Open event, or -1000 at the time-out.
    int OpenResult() const { return WaitForCount(Kind::Open, 1) ? Get()[0].value : -1000; }
    // All received bytes in order.
    static std::string Received(const Events& events)
    {
        std::string all;
        for (const Event& event : events)
            all += event.data;
        return all;
    }
    static size_t Count(const Events& events, Kind kind)
    {
        return static_cast<size_t>(
            std::count_if(events.begin(), events.end(), [kind](const Event& e) { return e.kind == kind; }));
    }

private:
    mutable std::mutex lock_;
    mutable std::condition_variable changed_;
    Events events_;
};

// A serial endpoint that records its notifications in a log and then lets the base
// class print them as it always does.
class RecordingSerialIO : public CSerialIO
{
public:
    explicit RecordingSerialIO(SerialEventLog& log) : log_(log) {}
    ~RecordingSerialIO() override { StopReader(); }

protected:
    void OnOpen(int result) override
    {
        log_.Add(SerialEventLog::Kind::Open, result), CSerialIO::OnOpen(result);
    }
    void OnClose(int result) override
    {
        log_.Add(SerialEventLog::Kind::Close, result), CSerialIO::OnClose(result);
    }
    void OnReceive(const char* data, int length) override
    {
        log_.Add(SerialEventLog::Kind::Receive, length, data, length);
        CSerialIO::OnReceive(data, length);
    }
    void OnSend(int count) override { log_.Add(SerialEventLog::Kind::Send, count), CSerialIO::OnSend(count); }

private:
    SerialEventLog& log_;
};
