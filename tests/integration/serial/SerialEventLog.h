#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// What a serial endpoint reported, in the order it reported it, from whatever thread.
// Kept apart from the endpoint so it can be read after the endpoint is gone.
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
        std::thread::id thread;
    };

    void Add(Kind kind, int value, const char* data = nullptr, int length = 0);
    std::vector<Event> Events() const;
    // Waits until `done(events)` holds or the time-out passes; returns the final value.
    bool WaitFor(const std::function<bool(const std::vector<Event>&)>& done, int timeoutMs) const;
    // Waits for the first event of `kind`; its value, or `fallback` at the time-out.
    int WaitForValue(Kind kind, int timeoutMs, int fallback = -1000) const;
    // All received bytes in order.
    std::string Received() const;

    static size_t Count(const std::vector<Event>& events, Kind kind);

private:
    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    std::vector<Event> m_events;
};
