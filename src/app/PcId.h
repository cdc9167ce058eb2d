#pragma once

#include "platform/LocalClock.h"

#include <string>

// The PC identifier: 20 decimal digits made once per installation (kept by
// Installation, which settles it from the login cache).

// Makes a new identifier from the current local time.
std::string MakePcId();
// The composition rule: seconds since 1970 of the local time, its milliseconds as
// exactly three digits, then seven random digits from the C generator started with
// `randomStart` (srand).
std::string ComposePcId(const platform::LocalTimestamp& localTime, unsigned randomStart);
