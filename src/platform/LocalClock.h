#pragma once

#include <cstdint>

namespace platform {

// The calendar fields of the local wall-clock time, with milliseconds.
struct LocalTimestamp
{
    int year = 1970;
    int month = 1; // 1..12
    int day = 1;   // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0; // 0..999
};

// The current local time.
LocalTimestamp LocalNow();

// Seconds since 1970-01-01 00:00:00 UTC of a local wall-clock time, with daylight
// saving decided by the system's time zone rules (mktime with tm_isdst = -1).
int64_t LocalToEpochSeconds(const LocalTimestamp& t);

} // namespace platform
