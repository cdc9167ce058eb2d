#include "platform/LocalClock.h"

#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <string>

namespace {

// Runs the body with TZ set for the duration; each test runs in its own process
// under CTest, and the previous value is restored for direct runs.
class TimeZone
{
public:
    explicit TimeZone(const char* zone)
    {
        const char* old = std::getenv("TZ");
        m_had = old != nullptr;
        if (old)
            m_old = old;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~TimeZone()
    {
        if (m_had)
            ::setenv("TZ", m_old.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    bool m_had = false;
    std::string m_old;
};

LocalTimestamp At(int year, int month, int day, int hour, int minute, int second)
{
    LocalTimestamp t;
    t.year = year;
    t.month = month;
    t.day = day;
    t.hour = hour;
    t.minute = minute;
    t.second = second;
    return t;
}

} // namespace

TEST(LocalClock, EpochSecondsFollowTheTimeZone)
{
    {
        TimeZone zone("UTC0");
        EXPECT_EQ(LocalToEpochSeconds(At(1970, 1, 1, 0, 0, 0)), 0);
        EXPECT_EQ(LocalToEpochSeconds(At(2021, 1, 1, 0, 0, 0)), 1609459200);
    }
    {
        TimeZone zone("CST-8"); // eight hours east of UTC, no daylight saving
        EXPECT_EQ(LocalToEpochSeconds(At(2021, 1, 1, 8, 0, 0)), 1609459200);
    }
    {
        // Central Europe: summer time is decided by the rules, one hour more.
        TimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
        EXPECT_EQ(LocalToEpochSeconds(At(2021, 1, 1, 1, 0, 0)), 1609459200);
        EXPECT_EQ(LocalToEpochSeconds(At(2021, 7, 1, 2, 0, 0)), 1625097600);
    }
}

TEST(LocalClock, NowIsConsistentWithTheSystemClock)
{
    TimeZone zone("CST-8");
    const time_t before = std::time(nullptr);
    const LocalTimestamp now = LocalNow();
    const time_t after = std::time(nullptr);
    EXPECT_GE(now.millisecond, 0);
    EXPECT_LE(now.millisecond, 999);
    EXPECT_GE(now.month, 1);
    EXPECT_LE(now.month, 12);
    const int64_t seconds = LocalToEpochSeconds(now);
    EXPECT_GE(seconds, static_cast<int64_t>(before));
    EXPECT_LE(seconds, static_cast<int64_t>(after));
}
