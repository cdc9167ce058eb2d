#include "app/LoginCache.h"
#include "TempHome.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <random>

namespace {

QByteArray Hex(const char* hex)
{
    return QByteArray::fromHex(hex);
}

QByteArray Utf16Le(const QString& s)
{
    QByteArray out;
    for (QChar c : s) {
        out.append(static_cast<char>(c.unicode() & 0xFF));
        out.append(static_cast<char>(c.unicode() >> 8));
    }
    return out;
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

void ExpectSameRecord(const CRequestLogin& a, const CRequestLogin& b)
{
    EXPECT_EQ(a.GetUserName(), b.GetUserName());
    EXPECT_EQ(a.GetPassword(), b.GetPassword());
    EXPECT_EQ(a.GetRemember(), b.GetRemember());
    EXPECT_EQ(a.GetPcId(), b.GetPcId());
}

const QString kPcId = QStringLiteral("16094592000071234567");

} // namespace

TEST(LoginCacheFormat, RecordOfUserAbIsByteExact)
{
    const QByteArray expected = Hex("FFFF02000D00") + QByteArray("CRequestLogin") + Hex("FFFEFF02") +
                                Utf16Le("ab") + Hex("FFFEFF00") + Hex("01000000") + Hex("FFFEFF14") +
                                Utf16Le(kPcId);
    const QByteArray bytes = Record("ab", "", 1, kPcId).Serialize();
    EXPECT_EQ(bytes.toHex(' '), expected.toHex(' '));

    auto back = CRequestLogin::Deserialize(expected);
    ASSERT_NE(back, nullptr);
    ExpectSameRecord(*back, Record("ab", "", 1, kPcId));
}

TEST(LoginCacheFormat, StringLengthFormsAroundTheirLimits)
{
    struct Case
    {
        int units;
        const char* prefix; // the bytes after the marker FF FE FF
    };
    const Case cases[] = {
        {0, "00"},
        {1, "01"},
        {254, "FE"},
        {255, "FFFF00"},
        {256, "FF0001"},
        {0xFFFD, "FFFDFF"},
        {0xFFFE, "FFFFFFFEFF0000"},
        {0xFFFF, "FFFFFFFFFF0000"},
        {70000, "FFFFFF70110100"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.units);
        QString name;
        name.reserve(c.units);
        for (int i = 0; i < c.units; ++i)
            name.append(QChar(u'a' + i % 26));
        const CRequestLogin record = Record(name, "", -1, kPcId);
        const QByteArray bytes = record.Serialize();
        const QByteArray expectedStart =
            Hex("FFFF02000D00") + QByteArray("CRequestLogin") + Hex("FFFEFF") + Hex(c.prefix);
        EXPECT_TRUE(bytes.startsWith(expectedStart))
            << bytes.left(expectedStart.size()).toHex(' ').constData();
        EXPECT_EQ(bytes.size(), expectedStart.size() + 2 * c.units + 4 + 4 + 4 + 40);

        auto back = CRequestLogin::Deserialize(bytes);
        ASSERT_NE(back, nullptr);
        ExpectSameRecord(*back, record);
    }
}

TEST(LoginCacheFormat, NonAsciiTextRoundTrips)
{
    // Chinese names, a character outside the basic plane (a surrogate pair) and a
    // password with punctuation and spaces.
    const CRequestLogin record =
        Record(QStringLiteral("张三丰"), QStringLiteral("密码 p@ss 𠀀!"), 0, QStringLiteral("电脑"));
    const QByteArray bytes = record.Serialize();
    EXPECT_NE(bytes.indexOf(Hex("FFFEFF03") + Utf16Le(QStringLiteral("张三丰"))), -1);
    auto back = CRequestLogin::Deserialize(bytes);
    ASSERT_NE(back, nullptr);
    ExpectSameRecord(*back, record);
}

TEST(LoginCacheFormat, DamagedBytesGiveNull)
{
    const QByteArray good = Record("ab", "pw", 1, kPcId).Serialize();
    ASSERT_NE(CRequestLogin::Deserialize(good), nullptr);

    // Every truncation, down to the empty file.
    for (qsizetype cut = 0; cut < good.size(); ++cut)
        EXPECT_EQ(CRequestLogin::Deserialize(good.left(cut)), nullptr) << "cut at " << cut;

    // Each byte of the class tag, of the schema and of each string marker flipped.
    const qsizetype header = 6 + 13;
    const qsizetype user = header;               // FF FE FF 02 a b
    const qsizetype password = user + 4 + 4;     // FF FE FF 02 p w
    const qsizetype pcId = password + 4 + 4 + 4; // after remember
    const qsizetype tagBytes[] = {
        0,    1,        4,       5, 2, 3, user, user + 1, user + 2, password, password + 1, password + 2,
        pcId, pcId + 1, pcId + 2};
    for (qsizetype at : tagBytes) {
        QByteArray bad = good;
        bad[at] = static_cast<char>(bad[at] ^ 0x01);
        EXPECT_EQ(CRequestLogin::Deserialize(bad), nullptr) << "flipped byte " << at;
    }

    // Another class of the same name length, and one of another length.
    QByteArray other = good;
    other[6 + 12] = 'x';
    EXPECT_EQ(CRequestLogin::Deserialize(other), nullptr);
    const QByteArray shorter = Hex("FFFF02000C00") + QByteArray("CRequestLogi") + good.mid(header);
    EXPECT_EQ(CRequestLogin::Deserialize(shorter), nullptr);

    // Other schemas.
    for (char schema : {'\x00', '\x01', '\x03'}) {
        QByteArray bad = good;
        bad[2] = schema;
        EXPECT_EQ(CRequestLogin::Deserialize(bad), nullptr) << "schema " << int(schema);
    }

    // Trailing bytes after the object.
    EXPECT_EQ(CRequestLogin::Deserialize(good + QByteArray(1, '\0')), nullptr);

    // Length fields far larger than the file, in each of the three forms.
    for (const char* length : {"FE", "FFFEFF", "FFFFFFFFFFFFFF", "FFFFFFFFFF7F", "FFFFFF00000080"}) {
        const QByteArray bad = good.left(header) + Hex("FFFEFF") + Hex(length) + Utf16Le("ab");
        EXPECT_EQ(CRequestLogin::Deserialize(bad), nullptr) << length;
    }
}

TEST(LoginCacheFormat, RandomDamageNeverCrashes)
{
    const QByteArray good = Record(QStringLiteral("用户"), "secret", 1, kPcId).Serialize();
    std::mt19937 random(12345);
    int accepted = 0;
    for (int round = 0; round < 20000; ++round) {
        QByteArray bad = good;
        const int changes = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < changes; ++i)
            bad[static_cast<qsizetype>(random() % bad.size())] = static_cast<char>(random() & 0xFF);
        if (random() % 3 == 0)
            bad.truncate(static_cast<qsizetype>(random() % bad.size()));
        auto back = CRequestLogin::Deserialize(bad);
        if (back) {
            // Whatever is accepted is a record that survives its own round trip.
            auto again = CRequestLogin::Deserialize(back->Serialize());
            ASSERT_NE(again, nullptr);
            ExpectSameRecord(*again, *back);
            ++accepted;
        }
    }
    // Changes inside the text bodies or the remember flag are still well formed.
    EXPECT_GT(accepted, 0);
}

TEST(LoginCacheFile, AbsentCacheIsNull)
{
    TempHome home;
    ASSERT_TRUE(home.IsValid());
    EXPECT_EQ(LoadLoginCache(), nullptr);
}

TEST(LoginCacheFile, SaveWritesTheWholeFileAndLoadReadsIt)
{
    TempHome home;
    ASSERT_TRUE(home.IsValid());
    const CRequestLogin longer = Record(QStringLiteral("一个很长的用户名字"), "long password", 1, kPcId);
    ASSERT_TRUE(SaveLoginCache(longer));
    EXPECT_EQ(home.Read("licache"), longer.Serialize());

    // A shorter record replaces the file completely: nothing of the old one remains.
    const CRequestLogin shorter = Record("ab", "", 0, kPcId);
    ASSERT_TRUE(SaveLoginCache(shorter));
    EXPECT_EQ(home.Read("licache"), shorter.Serialize());
    auto back = LoadLoginCache();
    ASSERT_NE(back, nullptr);
    ExpectSameRecord(*back, shorter);

    // No temporary file is left beside the cache.
    EXPECT_EQ(QDir(home.Path()).entryList(QDir::Files | QDir::Hidden), QStringList{"licache"});
}

TEST(LoginCacheFile, DamagedOrUnreadableCacheIsNull)
{
    TempHome home;
    ASSERT_TRUE(home.IsValid());
    const QByteArray good = Record("ab", "", 1, kPcId).Serialize();
    ASSERT_TRUE(home.Write("licache", good.left(good.size() - 3)));
    EXPECT_EQ(LoadLoginCache(), nullptr);
    ASSERT_TRUE(home.Write("licache", QByteArray()));
    EXPECT_EQ(LoadLoginCache(), nullptr);

    // A folder where the file should be cannot be read as a cache.
    ASSERT_TRUE(QFile::remove(home.File("licache")));
    ASSERT_TRUE(QDir(home.Path()).mkdir("licache"));
    EXPECT_EQ(LoadLoginCache(), nullptr);
    EXPECT_FALSE(SaveLoginCache(Record("ab", "", 1, kPcId)));
}

TEST(LoginCacheFile, SaveIntoAMissingFolderFails)
{
    TempHome home;
    ASSERT_TRUE(home.IsValid());
    ::setenv("LUMETRA_HOME", QFile::encodeName(home.File("no/such/folder")).constData(), 1);
    EXPECT_FALSE(SaveLoginCache(Record("ab", "", 1, kPcId)));
    EXPECT_EQ(LoadLoginCache(), nullptr);
}
