#include "tunnel/TunnelStats.h"

#include <algorithm>
#include <chrono>
#include <vector>

namespace {

// The value at `percent` of the sorted samples, by nearest rank.
int64_t NearestRank(const std::vector<int64_t>& sorted, int percent)
{
    const size_t rank = (sorted.size() * static_cast<size_t>(percent) + 99) / 100;
    return sorted[std::max<size_t>(rank, 1) - 1];
}

} // namespace

int64_t TunnelStats::NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

TunnelStats::TunnelStats()
{
    Reset(NowNs());
}

void TunnelStats::Reset(int64_t nowNs)
{
    tx_.store(0, std::memory_order_relaxed);
    rx_.store(0, std::memory_order_relaxed);
    reconnects_.store(0, std::memory_order_relaxed);
    openedNs_.store(nowNs, std::memory_order_relaxed);
    awaiting_.store(false, std::memory_order_relaxed);
    std::lock_guard<std::mutex> guard(lock_);
    rttCount_ = 0;
    rttNext_ = 0;
    windowNs_ = nowNs;
    windowBytes_ = 0;
    rate_ = 0;
}

void TunnelStats::Sent(size_t bytes, int64_t nowNs)
{
    tx_.fetch_add(bytes, std::memory_order_relaxed);
    // The last request bytes before the answer count: every send moves the start.
    lastSentNs_.store(nowNs, std::memory_order_relaxed);
    awaiting_.store(true, std::memory_order_release);
}

void TunnelStats::Received(size_t bytes, int64_t nowNs)
{
    rx_.fetch_add(bytes, std::memory_order_relaxed);
    if (!awaiting_.load(std::memory_order_relaxed) || !awaiting_.exchange(false, std::memory_order_acquire)) {
        return;
    }
    // A send on another thread may have moved the start past this answer: no less
    // than zero then.
    const int64_t rtt = std::max<int64_t>(0, nowNs - lastSentNs_.load(std::memory_order_relaxed));
    std::lock_guard<std::mutex> guard(lock_);
    rtt_[rttNext_] = rtt;
    rttNext_ = (rttNext_ + 1) % kExchanges;
    rttCount_ = std::min(rttCount_ + 1, kExchanges);
}

TunnelStats::Figures TunnelStats::Read(int64_t nowNs) const
{
    Figures figures;
    figures.txBytes = tx_.load(std::memory_order_relaxed);
    figures.rxBytes = rx_.load(std::memory_order_relaxed);
    figures.reconnects = reconnects_.load(std::memory_order_relaxed);
    figures.openNs = std::max<int64_t>(0, nowNs - openedNs_.load(std::memory_order_relaxed));
    std::vector<int64_t> sorted;
    {
        std::lock_guard<std::mutex> guard(lock_);
        const uint64_t total = figures.txBytes + figures.rxBytes;
        const int64_t span = nowNs - windowNs_;
        if (span >= kRateWindowNs) {
            const uint64_t moved = total >= windowBytes_ ? total - windowBytes_ : 0;
            rate_ = static_cast<uint64_t>(static_cast<long double>(moved) * 1e9L / span);
            windowNs_ = nowNs;
            windowBytes_ = total;
        }
        figures.rateBytesPerSecond = rate_;
        sorted.assign(rtt_.begin(), rtt_.begin() + static_cast<std::ptrdiff_t>(rttCount_));
    }
    figures.exchanges = sorted.size();
    if (!sorted.empty()) {
        std::sort(sorted.begin(), sorted.end());
        figures.rtt50Ns = NearestRank(sorted, 50);
        figures.rtt95Ns = NearestRank(sorted, 95);
        figures.timeoutNs = std::max(kMinTimeoutNs, figures.rtt95Ns * 3);
    }
    return figures;
}

std::string TunnelStats::Milliseconds(int64_t ns)
{
    const int64_t tenths = (ns + 50000) / 100000; // rounded to 0.1 ms
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

std::string TunnelStats::Line(const std::string& deviceSn, const Figures& figures)
{
    std::string line = "stats: " + deviceSn + " tx=" + std::to_string(figures.txBytes) +
                       " rx=" + std::to_string(figures.rxBytes) +
                       " rate=" + std::to_string(figures.rateBytesPerSecond);
    if (figures.exchanges == 0) {
        return line + " rtt50=- rtt95=- timeout=-";
    }
    const int64_t timeoutMs = (figures.timeoutNs + 999999) / 1000000;
    return line + " rtt50=" + Milliseconds(figures.rtt50Ns) + " rtt95=" + Milliseconds(figures.rtt95Ns) +
           " timeout=" + std::to_string(timeoutMs);
}
