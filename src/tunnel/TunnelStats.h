#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

// The live figures of one tunnel: bytes each way, the rate, the time open, the data
// connection's reconnects and the device's round trip as this client sees it.
//
// An exchange starts with bytes sent toward the device while no answer is awaited
// and runs until the first bytes come back from it; its round trip is the time from
// the last bytes sent before that answer to the answer. Bytes from the device while
// no exchange runs (unasked reports) start nothing. The last kExchanges round trips
// are kept; their median and 95th percentile (nearest rank) and the protocol time-out
// they suggest (the 95th percentile times 3, at least kMinTimeoutNs) are worked out
// when read.
//
// Sent and Received may run on any thread (the serial tunnel sends from its reader
// thread) and cost a clock reading and a few relaxed atomic operations; only the end
// of an exchange takes a lock. Every time is in nanoseconds of the steady clock
// (NowNs), passed in so that a test can drive the class without waiting.
class TunnelStats
{
public:
    static constexpr size_t kExchanges = 100;
    static constexpr int64_t kMinTimeoutNs = 100 * 1000 * 1000;
    // The rate covers the time since the previous reading once that is this old.
    static constexpr int64_t kRateWindowNs = 500 * 1000 * 1000;

    struct Figures
    {
        uint64_t txBytes = 0; // toward the device
        uint64_t rxBytes = 0; // from the device
        // Bytes both ways per second over the last rate window.
        uint64_t rateBytesPerSecond = 0;
        int64_t openNs = 0;
        uint32_t reconnects = 0;
        // Round trips kept (0: the figures below mean nothing yet).
        size_t exchanges = 0;
        int64_t rtt50Ns = 0;
        int64_t rtt95Ns = 0;
        int64_t timeoutNs = 0;
    };

    static int64_t NowNs();

    TunnelStats();
    TunnelStats(const TunnelStats&) = delete;
    TunnelStats& operator=(const TunnelStats&) = delete;

    // Starts over: everything zero, open from `nowNs`.
    void Reset(int64_t nowNs);
    // `bytes` went toward the device.
    void Sent(size_t bytes, int64_t nowNs);
    void Sent(size_t bytes) { Sent(bytes, NowNs()); }
    // `bytes` came from the device.
    void Received(size_t bytes, int64_t nowNs);
    void Received(size_t bytes) { Received(bytes, NowNs()); }
    // The lost data connection is back.
    void Reconnected() { reconnects_.fetch_add(1, std::memory_order_relaxed); }

    // The figures at `nowNs`; closes the rate window when it is old enough.
    Figures Read(int64_t nowNs) const;
    Figures Read() const { return Read(NowNs()); }

    // "stats: <devsn> tx=<bytes> rx=<bytes> rate=<B/s> rtt50=<ms> rtt95=<ms>
    // timeout=<ms>": round trips in milliseconds with one decimal, the time-out in
    // whole milliseconds rounded up, "-" for each of the three before any exchange.
    static std::string Line(const std::string& deviceSn, const Figures& figures);
    // Milliseconds with one decimal ("12.3").
    static std::string Milliseconds(int64_t ns);

private:
    std::atomic<uint64_t> tx_{0};
    std::atomic<uint64_t> rx_{0};
    std::atomic<uint32_t> reconnects_{0};
    std::atomic<int64_t> openedNs_{0};
    std::atomic<int64_t> lastSentNs_{0};
    std::atomic<bool> awaiting_{false};

    mutable std::mutex lock_; // the round trips and the rate window
    std::array<int64_t, kExchanges> rtt_{};
    size_t rttCount_ = 0;
    size_t rttNext_ = 0;
    mutable int64_t windowNs_ = 0;
    mutable uint64_t windowBytes_ = 0;
    mutable uint64_t rate_ = 0;
};
