#include "app/PcId.h"

#include <cstdlib>
#include <ctime>

std::string ComposePcId(const platform::LocalTimestamp& localTime, unsigned randomStart)
{
    std::string id = std::to_string(platform::LocalToEpochSeconds(localTime));
    // Milliseconds always take three digits; a value outside 0..999 (never produced
    // by the clock) is clamped so the identifier keeps its length.
    int ms = localTime.millisecond;
    if (ms < 0)
        ms = 0;
    if (ms > 999)
        ms = 999;
    if (ms < 10)
        id += "00";
    else if (ms < 100)
        id += "0";
    id += std::to_string(ms);
    std::srand(randomStart);
    for (int i = 0; i < 7; ++i)
        id += std::to_string(std::rand() % 10);
    return id;
}

std::string MakePcId()
{
    const platform::LocalTimestamp now = platform::LocalNow();
    return ComposePcId(now, static_cast<unsigned>(std::time(nullptr)));
}
