// The live figures of a tunnel (TunnelStats), driven with given times.

#include "tunnel/TunnelStats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int64_t kMs = 1000 * 1000;

TEST(TunnelStatsExchanges, RoundTripRunsFromTheLastRequestBytesToTheFirstAnswerBytes)
{
    TunnelStats stats;
    stats.Reset(0);
    // A request in three pieces, the answer in two: one exchange of 10 ms, timed from
    // the last piece sent (at 30 ms) to the first piece back (at 40 ms).
    stats.Sent(4, 10 * kMs);
    stats.Sent(4, 20 * kMs);
    stats.Sent(2, 30 * kMs);
    stats.Received(5, 40 * kMs);
    stats.Received(8, 90 * kMs);
    // Bytes from the device that nobody asked for start no exchange.
    stats.Received(7, 200 * kMs);
    TunnelStats::Figures figures = stats.Read(300 * kMs);
    EXPECT_EQ(figures.txBytes, 10u);
    EXPECT_EQ(figures.rxBytes, 20u);
    EXPECT_EQ(figures.exchanges, 1u);
    EXPECT_EQ(figures.rtt50Ns, 10 * kMs);
    EXPECT_EQ(figures.rtt95Ns, 10 * kMs);
    EXPECT_EQ(figures.openNs, 300 * kMs);

    // The next request opens the next exchange.
    stats.Sent(1, 400 * kMs);
    stats.Received(1, 430 * kMs);
    figures = stats.Read(500 * kMs);
    EXPECT_EQ(figures.exchanges, 2u);
    EXPECT_EQ(figures.rtt50Ns, 10 * kMs); // nearest rank: the lower of two
    EXPECT_EQ(figures.rtt95Ns, 30 * kMs);
}

TEST(TunnelStatsExchanges, PercentilesAndTimeOutCoverTheLastHundredExchanges)
{
    TunnelStats stats;
    stats.Reset(0);
    int64_t now = 0;
    // 150 exchanges of 1..150 ms, in a shuffled order of size: the last 100 are kept.
    for (int i = 1; i <= 150; ++i) {
        const int64_t rtt = ((i * 37) % 150 + 1) * kMs;
        now += kMs;
        stats.Sent(8, now);
        now += rtt;
        stats.Received(13, now);
    }
    TunnelStats::Figures figures = stats.Read(now);
    EXPECT_EQ(figures.exchanges, 100u);
    EXPECT_EQ(figures.txBytes, 150u * 8);
    EXPECT_EQ(figures.rxBytes, 150u * 13);
    // The round trips of exchanges 51..150, sorted; nearest rank 50 and 95.
    std::vector<int64_t> kept;
    for (int i = 51; i <= 150; ++i)
        kept.push_back(((i * 37) % 150 + 1) * kMs);
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(figures.rtt50Ns, kept[49]);
    EXPECT_EQ(figures.rtt95Ns, kept[94]);
    EXPECT_EQ(figures.timeoutNs, 3 * kept[94]);

    // Fast exchanges suggest no less than 100 ms.
    stats.Reset(now);
    stats.Sent(1, now + kMs);
    stats.Received(1, now + 3 * kMs);
    figures = stats.Read(now + 4 * kMs);
    EXPECT_EQ(figures.rtt95Ns, 2 * kMs);
    EXPECT_EQ(figures.timeoutNs, TunnelStats::kMinTimeoutNs);
}

TEST(TunnelStatsFigures, RateCoversTheTimeSinceTheLastReadingAndResetStartsOver)
{
    TunnelStats stats;
    stats.Reset(1000 * kMs);
    stats.Sent(1000, 1100 * kMs);
    stats.Received(2000, 1200 * kMs);
    stats.Reconnected();
    // Before half a second passed there is no window yet.
    EXPECT_EQ(stats.Read(1400 * kMs).rateBytesPerSecond, 0u);
    EXPECT_EQ(stats.Read(2500 * kMs).rateBytesPerSecond, 2000u); // 3000 bytes in 1.5 s
    // A reading soon after keeps the last window's rate.
    stats.Sent(500, 2600 * kMs);
    EXPECT_EQ(stats.Read(2700 * kMs).rateBytesPerSecond, 2000u);
    EXPECT_EQ(stats.Read(3500 * kMs).rateBytesPerSecond, 500u);
    EXPECT_EQ(stats.Read(4500 * kMs).rateBytesPerSecond, 0u);
    TunnelStats::Figures figures = stats.Read(4500 * kMs);
    EXPECT_EQ(figures.reconnects, 1u);
    EXPECT_EQ(figures.openNs, 3500 * kMs);

    // A new open counts from zero; an exchange left open before it is forgotten.
    stats.Sent(9, 4600 * kMs);
    stats.Reset(5000 * kMs);
    stats.Received(4, 5100 * kMs);
    figures = stats.Read(5200 * kMs);
    EXPECT_EQ(figures.txBytes, 0u);
    EXPECT_EQ(figures.rxBytes, 4u);
    EXPECT_EQ(figures.reconnects, 0u);
    EXPECT_EQ(figures.exchanges, 0u);
    EXPECT_EQ(figures.openNs, 200 * kMs);
}

TEST(TunnelStatsLine, ShowsRoundTripsToATenthOfAMillisecondAndTheTimeOutRoundedUp)
{
    TunnelStats::Figures figures;
    figures.txBytes = 16;
    figures.rxBytes = 26;
    figures.rateBytesPerSecond = 42;
    EXPECT_EQ(TunnelStats::Line("RTU-TCP", figures),
              "stats: RTU-TCP tx=16 rx=26 rate=42 rtt50=- rtt95=- timeout=-");
    figures.exchanges = 2;
    figures.rtt50Ns = 203 * kMs + 449999;
    figures.rtt95Ns = 205 * kMs + 50000;
    figures.timeoutNs = 3 * figures.rtt95Ns; // 615.15 ms
    EXPECT_EQ(TunnelStats::Line("RTU-TCP", figures),
              "stats: RTU-TCP tx=16 rx=26 rate=42 rtt50=203.4 rtt95=205.1 timeout=616");
    EXPECT_EQ(TunnelStats::Milliseconds(0), "0.0");
    EXPECT_EQ(TunnelStats::Milliseconds(49999), "0.0");
    EXPECT_EQ(TunnelStats::Milliseconds(50000), "0.1");
    EXPECT_EQ(TunnelStats::Milliseconds(100 * kMs), "100.0");
}

TEST(TunnelStatsThreads, CountsFromASendingAndAReceivingThreadAddUpExactly)
{
    TunnelStats stats;
    stats.Reset(TunnelStats::NowNs());
    constexpr int kRounds = 200000;
    std::thread sender([&] {
        for (int i = 0; i < kRounds; ++i)
            stats.Sent(3);
    });
    std::thread receiver([&] {
        for (int i = 0; i < kRounds; ++i)
            stats.Received(5);
    });
    // Reading meanwhile (as the window's timer does) disturbs nothing.
    for (int i = 0; i < 100; ++i)
        stats.Read();
    sender.join();
    receiver.join();
    const TunnelStats::Figures figures = stats.Read();
    EXPECT_EQ(figures.txBytes, 3u * kRounds);
    EXPECT_EQ(figures.rxBytes, 5u * kRounds);
    EXPECT_LE(figures.exchanges, TunnelStats::kExchanges);
    EXPECT_GE(figures.rtt50Ns, 0);
    EXPECT_LE(figures.rtt50Ns, figures.rtt95Ns);
}

} // namespace
