#include "app/PcId.h"
#include "TempHome.h"
#include "app/LoginCache.h"

#include <QFile>
#include <cstring>
#include <gtest/gtest.h>
#include <set>
#include <string>

namespace {

bool AllDigits(const std::string& s)
{
    return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

LocalTimestamp At(int year, int month, int day, int hour, int minute, int second, int ms)
{
    LocalTimestamp t;
    t.year = year;
    t.month = month;
    t.day = day;
    t.hour = hour;
    t.minute = minute;
    t.second = second;
    t.millisecond = ms;
    return t;
}

CRequestLogin Record(const QString& user, const QString& password, int32_t remember, const QString& pcId)
{
    CRequestLogin r;
    r.SetUserName(user);
    r.SetPassword(password);
    r.SetRemember(remember);
    r.SetPcId(pcId);
    return r;
}

} // namespace

TEST(PcIdComposition, SecondsThenThreeDigitMillisecondsThenSevenRandomDigits)
{
    const LocalTimestamp base = At(2024, 5, 17, 13, 45, 9, 0);
    const std::string seconds = std::to_string(LocalToEpochSeconds(base));
    ASSERT_EQ(seconds.size(), 10u);
    const struct
    {
        int ms;
        const char* text;
    } cases[] = {{0, "000"},  {7, "007"},   {9, "009"},   {10, "010"}, {42, "042"},
                 {99, "099"}, {100, "100"}, {123, "123"}, {999, "999"}};
    for (const auto& c : cases) {
        LocalTimestamp t = base;
        t.millisecond = c.ms;
        const std::string id = ComposePcId(t, 77);
        EXPECT_EQ(id.size(), 20u) << id;
        EXPECT_TRUE(AllDigits(id)) << id;
        EXPECT_EQ(id.substr(0, 10), seconds);
        EXPECT_EQ(id.substr(10, 3), c.text) << "ms " << c.ms;
    }
}

TEST(PcIdComposition, SameSeedGivesSameDigitsAndSeedsVary)
{
    const LocalTimestamp t = At(2023, 1, 2, 3, 4, 5, 6);
    const std::string a = ComposePcId(t, 424242);
    EXPECT_EQ(ComposePcId(t, 424242), a);
    std::set<std::string> tails;
    for (unsigned start = 1; start <= 20; ++start)
        tails.insert(ComposePcId(t, start).substr(13));
    EXPECT_GT(tails.size(), 1u);
}

TEST(PcIdComposition, MadeIdentifierHasTwentyDigits)
{
    const std::string id = MakePcId();
    EXPECT_EQ(id.size(), 20u) << id;
    EXPECT_TRUE(AllDigits(id)) << id;
}

TEST(PcIdState, SetKeepsItsOwnCopy)
{
    char buffer[32];
    std::strcpy(buffer, "12345678901234567890");
    SetPcId(buffer);
    std::strcpy(buffer, "changed");
    EXPECT_STREQ(GetPcId(), "12345678901234567890");
    SetPcId("98765432109876543210");
    EXPECT_STREQ(GetPcId(), "98765432109876543210");
    SetPcId(nullptr);
    EXPECT_STREQ(GetPcId(), "");
}

TEST(PcIdSettle, FirstRunWritesANewCacheAndTheNextRunReusesIt)
{
    TempHome home;
    ASSERT_TRUE(home.IsValid());
    SetPcId("");
    SettlePcId();
    const std::string id = GetPcId();
    EXPECT_EQ(id.size(), 20u) << id;
    EXPECT_TRUE(AllDigits(id)) << id;

    auto cached = LoadLoginCache();
    ASSERT_NE(cached, nullptr);
    EXPECT_EQ(cached->GetPcId().toStdString(), id);
    EXPECT_TRUE(cached->GetUserName().isEmpty());
    EXPECT_TRUE(cached->GetPassword().isEmpty());
    EXPECT_EQ(cached->GetRemember(), 0);
    const QByteArray firstBytes = home.Read("licache");

    // The next start takes the cached identifier and leaves the cache as it is.
    SetPcId("");
    SettlePcId();
    EXPECT_EQ(std::string(GetPcId()), id);
    EXPECT_EQ(home.Read("licache"), firstBytes);
}

TEST(PcIdSettle, DamagedCacheIsReplacedByAFreshRecord)
{
    TempHome home;
    ASSERT_TRUE(home.IsValid());
    const QByteArray good = Record("ab", "pw", 1, "11111111111111111111").Serialize();
    ASSERT_TRUE(home.Write("licache", good.left(good.size() - 1)));
    SettlePcId();
    const std::string id = GetPcId();
    EXPECT_EQ(id.size(), 20u);
    EXPECT_NE(id, "11111111111111111111");
    auto cached = LoadLoginCache();
    ASSERT_NE(cached, nullptr);
    EXPECT_EQ(cached->GetPcId().toStdString(), id);
    EXPECT_TRUE(cached->GetUserName().isEmpty());
    EXPECT_TRUE(cached->GetPassword().isEmpty());
    EXPECT_EQ(cached->GetRemember(), 0);
}

TEST(PcIdSettle, CacheWithoutIdentifierKeepsTheLoginAndGetsAnIdentifier)
{
    TempHome home;
    ASSERT_TRUE(home.IsValid());
    ASSERT_TRUE(SaveLoginCache(Record(QStringLiteral("张三"), QStringLiteral("密码1"), 1, QString())));
    SettlePcId();
    const std::string id = GetPcId();
    EXPECT_EQ(id.size(), 20u) << id;
    EXPECT_TRUE(AllDigits(id)) << id;
    auto cached = LoadLoginCache();
    ASSERT_NE(cached, nullptr);
    EXPECT_EQ(cached->GetPcId().toStdString(), id);
    EXPECT_EQ(cached->GetUserName(), QStringLiteral("张三"));
    EXPECT_EQ(cached->GetPassword(), QStringLiteral("密码1"));
    EXPECT_EQ(cached->GetRemember(), 1);
}

TEST(PcIdSettle, CachedIdentifierIsTakenAsItIs)
{
    TempHome home;
    ASSERT_TRUE(home.IsValid());
    const CRequestLogin record = Record("ab", "", 1, "17000000000421234567");
    ASSERT_TRUE(SaveLoginCache(record));
    SettlePcId();
    EXPECT_STREQ(GetPcId(), "17000000000421234567");
    EXPECT_EQ(home.Read("licache"), record.Serialize());
}

TEST(PcIdSettle, UnwritableFolderStillGivesAnIdentifierForThisRun)
{
    TempHome home;
    ASSERT_TRUE(home.IsValid());
    ::setenv("LUMETRA_HOME", QFile::encodeName(home.File("missing")).constData(), 1);
    testing::internal::CaptureStderr();
    SettlePcId();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::string(GetPcId()).size(), 20u);
}
