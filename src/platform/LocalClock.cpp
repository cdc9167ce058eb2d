#include "platform/LocalClock.h"

#include <ctime>
#include <sys/time.h>

namespace platform {

LocalTimestamp LocalNow()
{
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    struct tm local;
    time_t seconds = tv.tv_sec;
    localtime_r(&seconds, &local);
    LocalTimestamp t;
    t.year = local.tm_year + 1900;
    t.month = local.tm_mon + 1;
    t.day = local.tm_mday;
    t.hour = local.tm_hour;
    t.minute = local.tm_min;
    t.second = local.tm_sec;
    t.millisecond = static_cast<int>(tv.tv_usec / 1000);
    return t;
}

int64_t LocalToEpochSeconds(const LocalTimestamp& t)
{
    struct tm local = {};
    local.tm_year = t.year - 1900;
    local.tm_mon = t.month - 1;
    local.tm_mday = t.day;
    local.tm_hour = t.hour;
    local.tm_min = t.minute;
    local.tm_sec = t.second;
    local.tm_isdst = -1;
    return static_cast<int64_t>(mktime(&local));
}

} // namespace platform
