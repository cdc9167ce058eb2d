#pragma once

#include "endpoint/CSerialIO.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
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

// A recording endpoint the test can watch and steer: it tells its reader thread's id,
// lets the test refuse reads (and counts the asks), counts the drains of its write
// queue, and can hold its reader inside the next OnSend so that writes pile up in
// the queue exactly as they would behind a slow port.
class WatchedSerialIO : public RecordingSerialIO
{
public:
    using RecordingSerialIO::RecordingSerialIO;
    ~WatchedSerialIO() override
    {
        Release();
        StopReader();
    }

    std::atomic<bool> wanted{true};
    std::atomic<int> asks{0};
    std::atomic<int> drained{0};
    std::atomic<pid_t> readerTid{0};

    // The reader stops in its next OnSend until Release().
    void HoldNextSend()
    {
        std::lock_guard<std::mutex> guard(lock_);
        hold_ = true;
        held_ = false;
    }
    bool WaitUntilHeld(int timeoutMs = 10000)
    {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return held_; });
    }
    void Release()
    {
        std::lock_guard<std::mutex> guard(lock_);
        hold_ = false;
        changed_.notify_all();
    }
    // Writes `data`, first waiting (bounded) for the queue to drain while
    // kHoldWrites writes wait, as the serial tunnel holds its relay back.
    bool PacedWrite(const std::string& data, int timeoutMs = 10000)
    {
        if (WritesWaiting() >= kHoldWrites) {
            std::unique_lock<std::mutex> guard(lock_);
            const int before = drained;
            guard.unlock();
            if (NotifyWhenDrained()) {
                guard.lock();
                if (!changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                       [&] { return drained != before; }))
                    return false;
            }
        }
        return Write(data.data(), static_cast<int>(data.size()));
    }

protected:
    void OnOpen(int result) override
    {
        readerTid = static_cast<pid_t>(syscall(SYS_gettid));
        RecordingSerialIO::OnOpen(result);
    }
    bool WantsRead() override
    {
        ++asks;
        return wanted;
    }
    void OnWritesDrained() override
    {
        std::lock_guard<std::mutex> guard(lock_);
        ++drained;
        changed_.notify_all();
    }
    void OnSend(int count) override
    {
        RecordingSerialIO::OnSend(count);
        if (count < 0)
            return; // refusals come on the writing thread
        std::unique_lock<std::mutex> guard(lock_);
        if (!hold_)
            return;
        held_ = true;
        changed_.notify_all();
        changed_.wait(guard, [&] { return !hold_; });
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    bool hold_ = false;
    bool held_ = false;
};
