#include "app/LoginCache.h"
#include "AppTestSupport.h"
#include "app/Installation.h"
#include "support/ResourceUse.h"
#include "support/ScopedUmask.h"

#include <QDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray Hex(const char* hex)
{
    return QByteArray::fromHex(hex);
}

QByteArray Utf16Le(const QString& s)
{
    QByteArray out;
    for (QChar c : s)
        out.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    return out;
}

void ExpectRoundTrip(const QByteArray& bytes, const CRequestLogin& record)
{
    auto back = CRequestLogin::Deserialize(bytes);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(Fields(*back), Fields(record));
}

const QString kPcId = QStringLiteral("16094592000071234567");

// The login cache of the installation that LUMETRA_HOME names at the call.
std::unique_ptr<CRequestLogin> LoadCache()
{
    return LoadLoginCache(Installation().LoginCachePath());
}

bool SaveCache(const CRequestLogin& record)
{
    return SaveLoginCache(Installation().LoginCachePath(), record);
}
const QByteArray kHeader = Hex("FFFF02000D00") + "CRequestLogin";

} // namespace

TEST(LoginCacheFormat, RecordOfUserAbIsByteExact)
{
    const QByteArray expected = kHeader + Hex("FFFEFF02") + Utf16Le("ab") + Hex("FFFEFF00") +
                                Hex("01000000") + Hex("FFFEFF14") + Utf16Le(kPcId);
    EXPECT_EQ(LoginRecord("ab", "", 1, kPcId).Serialize().toHex(' '), expected.toHex(' '));
    ExpectRoundTrip(expected, LoginRecord("ab", "", 1, kPcId));
}

// The length forms of the strings are the archive's (its tests); a record's strings
// count UTF-16 units, so a character outside the basic plane takes two.
TEST(LoginCacheFormat, WideTextsRoundTrip)
{
    const QString password = QStringLiteral("密码 p@ss 𠀀!");
    const CRequestLogin wide = LoginRecord(QStringLiteral("张三丰"), password, 0, QStringLiteral("电脑"));
    EXPECT_NE(wide.Serialize().indexOf(Hex("FFFEFF0B") + Utf16Le(password)), -1);
    ExpectRoundTrip(wide.Serialize(), wide);
}

TEST(LoginCacheFormat, DamagedBytesGiveNull)
{
    const QByteArray good =
        LoginRecord("ab", QString(300, 'p'), 1, kPcId).Serialize(); // 8- and 16-bit lengths
    for (qsizetype cut = 0; cut < good.size(); ++cut)
        EXPECT_EQ(CRequestLogin::Deserialize(good.left(cut)), nullptr) << "cut at " << cut;

    // Each byte of the class header (schema included) and of each string marker.
    const qsizetype user = kHeader.size(), password = user + 8, pcId = password + 610;
    std::vector<qsizetype> flips = {user, user + 1, user + 2, password, password + 1, password + 2, pcId};
    for (qsizetype at = 0; at < user; ++at)
        flips.push_back(at);
    for (qsizetype at : flips) {
        QByteArray bad = good;
        bad[at] = char(bad[at] ^ 0x01);
        EXPECT_EQ(CRequestLogin::Deserialize(bad), nullptr) << "flipped byte " << at;
    }
    // A consistent header of a shorter class name, and bytes after the object.
    EXPECT_EQ(CRequestLogin::Deserialize(Hex("FFFF02000C00") + "CRequestLogi" + good.mid(user)), nullptr);
    EXPECT_EQ(CRequestLogin::Deserialize(good + QByteArray(1, '\0')), nullptr);
    for (const char* length : {"FE", "FFFEFF", "FFFFFFFFFFFFFF", "FFFFFFFFFF7F", "FFFFFF00000080"})
        EXPECT_EQ(CRequestLogin::Deserialize(kHeader + Hex("FFFEFF") + Hex(length) + Utf16Le("ab")), nullptr)
            << "length far beyond the file: " << length;
}

TEST(LoginCacheFile, SaveReplacesTheWholeFileAndUnusableCachesAreNull)
{
    TempHome home;
    EXPECT_EQ(LoadCache(), nullptr);
    ASSERT_TRUE(SaveCache(LoginRecord(QStringLiteral("很长的用户名字"), "long password", 1, kPcId)));
    const CRequestLogin shorter = LoginRecord("ab", "", 0, kPcId);
    ASSERT_TRUE(SaveCache(shorter));
    EXPECT_EQ(home.Read("licache"), shorter.Serialize());
    auto back = LoadCache();
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(Fields(*back), Fields(shorter));
    // No temporary file is left beside the cache.
    EXPECT_EQ(QDir(home.Path()).entryList(QDir::Files | QDir::Hidden), QStringList{"licache"});

    for (const QByteArray& bad : {shorter.Serialize().chopped(3), QByteArray()}) {
        ASSERT_TRUE(home.Write("licache", bad));
        EXPECT_EQ(LoadCache(), nullptr);
    }
    // A folder in the file's place, then a program folder that does not exist.
    ASSERT_TRUE(QFile::remove(home.File("licache")) && QDir(home.Path()).mkdir("licache"));
    EXPECT_EQ(LoadCache(), nullptr);
    EXPECT_FALSE(SaveCache(shorter));
    TempHome::Point(home.File("no/such/folder"));
    EXPECT_FALSE(SaveCache(shorter));
    EXPECT_EQ(LoadCache(), nullptr);
}

// The cache holds a password: the owner's alone whatever the umask; a cache open to
// group or others is neither read nor changed (the program reports it) until its
// owner closes it; a save puts a private file in its place; and a link in its place
// is never read through nor written through: a save replaces the link.
TEST(LoginCacheFile, CacheIsTheOwnersAloneAndALinkInItsPlaceIsNotFollowed)
{
    const ScopedUmask wideOpen(0);
    TempHome home;
    const std::string cache = QFile::encodeName(home.File("licache")).toStdString();
    const CRequestLogin record = LoginRecord("ab", "pw", 1, kPcId);
    ASSERT_TRUE(SaveCache(record));
    EXPECT_EQ(ScopedUmask::ModeOf(cache), 0600);
    EXPECT_FALSE(Installation().LoginCacheOpenToOthers());
    for (mode_t open : {0640, 0604, 0620, 0602}) {
        ASSERT_EQ(chmod(cache.c_str(), open), 0);
        EXPECT_TRUE(Installation().LoginCacheOpenToOthers()) << std::oct << open;
        EXPECT_EQ(LoadCache(), nullptr) << std::oct << open;
        EXPECT_EQ(ScopedUmask::ModeOf(cache), int(open));
    }
    ASSERT_EQ(chmod(cache.c_str(), 0600), 0);
    ASSERT_NE(LoadCache(), nullptr);
    ASSERT_EQ(chmod(cache.c_str(), 0666), 0);
    ASSERT_TRUE(SaveCache(record));
    EXPECT_EQ(ScopedUmask::ModeOf(cache), 0600);

    const QByteArray elsewhere = LoginRecord("other", "their pw", 1, kPcId).Serialize();
    ASSERT_TRUE(home.Write("elsewhere", elsewhere));
    const std::string target = QFile::encodeName(home.File("elsewhere")).toStdString();
    ASSERT_EQ(chmod(target.c_str(), 0666), 0);
    ASSERT_EQ(unlink(cache.c_str()), 0);
    ASSERT_EQ(symlink("elsewhere", cache.c_str()), 0);
    EXPECT_EQ(LoadCache(), nullptr);
    EXPECT_FALSE(Installation().LoginCacheOpenToOthers()); // a link is not the cache
    ASSERT_TRUE(SaveCache(record));
    EXPECT_EQ(ScopedUmask::ModeOf(cache), 0600); // a file now, not the link
    EXPECT_EQ(home.Read("licache"), record.Serialize());
    EXPECT_EQ(home.Read("elsewhere"), elsewhere);
    EXPECT_EQ(ScopedUmask::ModeOf(target), 0666);
}

TEST(LoginCacheFile, CacheOverTheSizeLimitIsAbsentWithoutBeingReadWholeAndIsNeverWritten)
{
    TempHome home;
    // The largest record that fits is written and read back; one a character
    // longer is neither written (the cache in place stays) nor read.
    auto size = [](qsizetype units) {
        return LoginRecord("user", QString(units, 'p'), 1, kPcId).Serialize().size();
    };
    qsizetype low = 0, high = qsizetype(CRequestLogin::kMaxBytes); // size(low) fits, size(high) does not
    while (high - low > 1) {
        const qsizetype middle = (low + high) / 2;
        (size(middle) <= qsizetype(CRequestLogin::kMaxBytes) ? low : high) = middle;
    }
    const QString password(low, 'p');
    const CRequestLogin fits = LoginRecord("user", password, 1, kPcId);
    ASSERT_TRUE(SaveCache(fits));
    auto back = LoadCache();
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(Fields(*back), Fields(fits));
    const CRequestLogin over = LoginRecord("user", password + "p", 1, kPcId);
    ASSERT_GT(over.Serialize().size(), qsizetype(CRequestLogin::kMaxBytes));
    EXPECT_EQ(CRequestLogin::Deserialize(over.Serialize()), nullptr);
    EXPECT_FALSE(SaveCache(over));
    EXPECT_EQ(home.Read("licache"), fits.Serialize());
    ASSERT_TRUE(home.Write("licache", over.Serialize()));
    EXPECT_EQ(LoadCache(), nullptr);

    // A sparse gigabyte in the cache's place counts as absent, and so does a device
    // (a pipe here: it would never end).
    QFile huge(home.File("licache"));
    ASSERT_TRUE(huge.resize(qint64(1) << 30));
    EXPECT_EQ(LoadCache(), nullptr);
    ASSERT_TRUE(QFile::remove(home.File("licache")));
    ASSERT_EQ(mkfifo(QFile::encodeName(home.File("licache")).constData(), 0600), 0);
    EXPECT_EQ(LoadCache(), nullptr);
    const long peakKb = ResourceUse::PeakResidentKb();
    if (ResourceUse::MeasuresMemory()) {
        EXPECT_LT(peakKb, 100 * 1024) << "peak resident size " << peakKb << " KiB";
    }
}
