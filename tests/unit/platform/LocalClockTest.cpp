#include "platform/LocalClock.h"

#include <ctime>
#include <gtest/gtest.h>

namespace {

// Sets the time zone for the rest of the process (CTest runs each test in its own).
int64_t Epoch(const char* zone, int year, int month, int day, int hour)
{
    ::setenv("TZ", zone, 1);
    ::tzset();
    return platform::LocalToEpochSeconds(platform::LocalTimestamp{year, month, day, hour, 0, 0, 0});
}

} // namespace

TEST(LocalClock, EpochSecondsFollowTheTimeZone)
{
    EXPECT_EQ(Epoch("UTC0", 1970, 1, 1, 0), 0);
    EXPECT_EQ(Epoch("UTC0", 2021, 1, 1, 0), 1609459200);
    EXPECT_EQ(Epoch("CST-8", 2021, 1, 1, 8), 1609459200);
    // Central Europe: summer time, decided by the zone's rules, is one hour more.
    EXPECT_EQ(Epoch("CET-1CEST,M3.5.0,M10.5.0/3", 2021, 1, 1, 1), 1609459200);
    EXPECT_EQ(Epoch("CET-1CEST,M3.5.0,M10.5.0/3", 2021, 7, 1, 2), 1625097600);
}

TEST(LocalClock, NowMatchesTheSystemClock)
{
    Epoch("CST-8", 1970, 1, 1, 0);
    const time_t before = std::time(nullptr);
    const platform::LocalTimestamp now = platform::LocalNow();
    const time_t after = std::time(nullptr);
    EXPECT_TRUE(now.millisecond >= 0 && now.millisecond <= 999) << now.millisecond;
    EXPECT_GE(platform::LocalToEpochSeconds(now), before);
    EXPECT_LE(platform::LocalToEpochSeconds(now), after);
}
