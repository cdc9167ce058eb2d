#pragma once

#include "platform/LocalClock.h"

#include <string>

// The process-wide PC identifier: 20 decimal digits made once per installation and
// kept in the login cache. It names this PC to the broker and the gateways.

// Replaces the identifier (a copy is kept).
void SetPcId(const char* id);
// The identifier; an empty text until one is set.
const char* GetPcId();

// Makes a new identifier from the current local time.
std::string MakePcId();
// The composition rule: seconds since 1970 of the local time, its milliseconds as
// exactly three digits, then seven random digits from the C generator started with
// `randomStart` (srand).
std::string ComposePcId(const LocalTimestamp& localTime, unsigned randomStart);

// Settles the identifier at start-up from the login cache: reuse the cached one;
// make a new one (and rewrite the cache, keeping its user name, password and
// remember flag) when the cache is missing, damaged or holds no identifier of
// exactly 20 digits (one line on standard error says so).
void SettlePcId();
