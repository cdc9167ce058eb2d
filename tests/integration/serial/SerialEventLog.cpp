#include "SerialEventLog.h"

#include <algorithm>
#include <chrono>

void SerialEventLog::Add(Kind kind, int value, const char* data, int length)
{
    Event event{kind, value, std::string(), std::this_thread::get_id()};
    if (data != nullptr && length > 0)
        event.data.assign(data, static_cast<size_t>(length));
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_events.push_back(std::move(event));
    }
    m_changed.notify_all();
}

std::vector<SerialEventLog::Event> SerialEventLog::Events() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_events;
}

bool SerialEventLog::WaitFor(const std::function<bool(const std::vector<Event>&)>& done, int timeoutMs) const
{
    std::unique_lock<std::mutex> guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return done(m_events); });
}

int SerialEventLog::WaitForValue(Kind kind, int timeoutMs, int fallback) const
{
    int value = fallback;
    WaitFor(
        [&](const std::vector<Event>& events) {
            for (const Event& event : events) {
                if (event.kind == kind) {
                    value = event.value;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return value;
}

std::string SerialEventLog::Received() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    std::string all;
    for (const Event& event : m_events) {
        if (event.kind == Kind::Receive)
            all += event.data;
    }
    return all;
}

size_t SerialEventLog::Count(const std::vector<Event>& events, Kind kind)
{
    return static_cast<size_t>(std::count_if(events.begin(), events.end(),
                                             [kind](const Event& event) { return event.kind == kind; }));
}
