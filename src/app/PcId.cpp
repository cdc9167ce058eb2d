#include "app/PcId.h"

#include "app/InputRules.h"
#include "app/LoginCache.h"
#include "platform/TextCodec.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

std::string& CurrentPcId()
{
    static std::string id;
    return id;
}

} // namespace

void SetPcId(const char* id)
{
    CurrentPcId() = id ? id : "";
}

const char* GetPcId()
{
    return CurrentPcId().c_str();
}

std::string ComposePcId(const LocalTimestamp& localTime, unsigned randomStart)
{
    std::string id = std::to_string(LocalToEpochSeconds(localTime));
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
    const LocalTimestamp now = LocalNow();
    return ComposePcId(now, static_cast<unsigned>(std::time(nullptr)));
}

void SettlePcId()
{
    std::unique_ptr<CRequestLogin> cached = LoadLoginCache();
    if (cached && !cached->GetPcId().isEmpty()) {
        const std::string id = TextCodec::WideToLocal(cached->GetPcId());
        // The identifier becomes a level of this PC's topics: anything but the 20
        // digits made here (a wildcard, a separator, a long text) is replaced.
        if (InputRules::IsPcId(id)) {
            SetPcId(id.c_str());
            return;
        }
        InputRules::ReportDropped("PC identifier of the login cache",
                                  "\"" + InputRules::Excerpt(id) + "\" is not 20 digits; a new one is made");
    }
    // No usable cache, or one without a usable identifier: make the identifier and
    // write a fresh record that keeps whatever the old cache remembered of the last
    // login.
    CRequestLogin record;
    if (cached) {
        record.SetUserName(cached->GetUserName());
        record.SetPassword(cached->GetPassword());
        record.SetRemember(cached->GetRemember());
    }
    const std::string id = MakePcId();
    record.SetPcId(TextCodec::LocalToWide(id));
    SetPcId(id.c_str());
    if (!SaveLoginCache(record))
        std::fprintf(stderr, "login cache could not be written; the PC identifier lasts for this run only\n");
}
