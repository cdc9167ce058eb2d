#include "app/PcId.h"
#include "AppTestSupport.h"
#include "app/Installation.h"
#include "app/LoginCache.h"

#include <gtest/gtest.h>
#include <set>

namespace {

bool IsPcId(const std::string& s)
{
    return s.size() == 20 && s.find_first_not_of("0123456789") == std::string::npos;
}

} // namespace

TEST(PcId, SecondsThenThreeDigitMillisecondsThenRandomDigits)
{
    platform::LocalTimestamp t{2024, 5, 17, 13, 45, 9, 0};
    const std::string seconds = std::to_string(platform::LocalToEpochSeconds(t));
    ASSERT_EQ(seconds.size(), 10u);
    const std::pair<int, const char*> cases[] = {{0, "000"}, {7, "007"}, {42, "042"}, {999, "999"}};
    for (const auto& [ms, text] : cases) {
        t.millisecond = ms;
        const std::string id = ComposePcId(t, 77);
        EXPECT_TRUE(IsPcId(id)) << id;
        EXPECT_EQ(id.substr(0, 13), seconds + text) << id;
    }
    EXPECT_EQ(ComposePcId(t, 424242), ComposePcId(t, 424242));
    std::set<std::string> tails;
    for (unsigned start = 1; start <= 20; ++start)
        tails.insert(ComposePcId(t, start).substr(13));
    EXPECT_GT(tails.size(), 1u);
    EXPECT_TRUE(IsPcId(MakePcId()));
}

TEST(PcIdSettle, NewIdentifierForAMissingDamagedOrIdlessCacheThenReused)
{
    const QByteArray damaged = LoginRecord("ab", "pw", 1, "11111111111111111111").Serialize().chopped(1);
    const std::tuple<const char*, QByteArray, CRequestLogin> cases[] = {
        {"missing", {}, CRequestLogin()},
        {"damaged", damaged, CRequestLogin()},
        {"no identifier", LoginRecord("张三", "密码1", 1, "").Serialize(),
         LoginRecord("张三", "密码1", 1, "")},
        // Identifiers that would change this PC's topics are replaced, the login kept.
        {"replaced: wildcard", LoginRecord("张三", "密码1", 1, "+").Serialize(),
         LoginRecord("张三", "密码1", 1, "")},
        {"replaced: multi-level wildcard", LoginRecord("李四", "pw", 0, "1234567890123456789#").Serialize(),
         LoginRecord("李四", "pw", 0, "")},
        {"replaced: 5,000 digits", LoginRecord("u", "p", 1, QString(5000, '7')).Serialize(),
         LoginRecord("u", "p", 1, "")}};
    for (auto [what, cache, kept] : cases) {
        SCOPED_TRACE(what);
        TempHome home;
        ASSERT_TRUE(cache.isEmpty() || home.Write("licache", cache));
        Installation installation;
        testing::internal::CaptureStderr();
        installation.SettlePcId();
        const std::string diagnostics = testing::internal::GetCapturedStderr();
        const std::string id = installation.PcId();
        EXPECT_EQ(diagnostics.rfind("dropped PC identifier", 0) == 0,
                  std::string(what).rfind("replaced", 0) == 0)
            << diagnostics;
        EXPECT_TRUE(IsPcId(id) && id != "11111111111111111111") << id;
        auto cached = LoadLoginCache(installation.LoginCachePath());
        ASSERT_NE(cached, nullptr);
        kept.SetPcId(QString::fromStdString(id));
        EXPECT_EQ(Fields(*cached), Fields(kept));

        // The next start takes the cached identifier and leaves the cache as it is.
        const QByteArray bytes = home.Read("licache");
        Installation next;
        next.SettlePcId();
        EXPECT_EQ(next.PcId(), id);
        EXPECT_EQ(home.Read("licache"), bytes);
    }
}

TEST(PcIdSettle, UnwritableFolderStillGivesAnIdentifierForThisRun)
{
    TempHome home;
    TempHome::Point(home.File("missing"));
    Installation installation;
    testing::internal::CaptureStderr();
    installation.SettlePcId();
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(IsPcId(installation.PcId()));
    // Set keeps its own copy.
    char buffer[32] = "12345678901234567890";
    installation.SetPcId(buffer);
    buffer[0] = 'x';
    EXPECT_STREQ(installation.PcId(), "12345678901234567890");
    installation.SetPcId(nullptr);
    EXPECT_STREQ(installation.PcId(), "");
}
