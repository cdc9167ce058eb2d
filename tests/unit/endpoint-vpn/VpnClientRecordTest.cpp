// The record of the OpenVPN client process: its one-line text, what is refused as a
// record, and the file on disk (private, never through a link, bounded).

#include "endpoint/VpnClientRecord.h"
#include "support/ScopedUmask.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

#include <string>

#include <sys/stat.h>

namespace {

VpnClientRecord Sample()
{
    VpnClientRecord record;
    record.pid = 4242;
    record.startTime = 123456789;
    record.ownerPid = 2147483647;
    record.ownerStartTime = 18446744073709551615u;
    return record;
}

TEST(VpnClientRecord, TextIsOneLineOfFourNumbersAndReadsBack)
{
    const VpnClientRecord record = Sample();
    EXPECT_EQ(record.Text(), "4242 123456789 2147483647 18446744073709551615\n");
    const std::optional<VpnClientRecord> back = VpnClientRecord::Parse(record.Text());
    ASSERT_TRUE(back.has_value());
    EXPECT_TRUE(*back == record);
}

TEST(VpnClientRecord, AnythingButThatLineIsNoRecord)
{
    for (const std::string& text : {
             std::string(),
             std::string("4242 123456789 77 88"),                      // no line end
             std::string("4242 123456789 77 88\n\n"),                  // more than the line
             std::string("4242 123456789 77\n"),                       // a number short
             std::string("4242 123456789 77 88 99\n"),                 // a number too many
             std::string("4242  123456789 77 88\n"),                   // two spaces
             std::string(" 4242 123456789 77 88\n"),                   // leading space
             std::string("4242 123456789 77 88\r\n"),                  // CR LF
             std::string("-4242 123456789 77 88\n"),                   // sign
             std::string("+4242 123456789 77 88\n"),                   // sign
             std::string("0 123456789 77 88\n"),                       // no pid 0
             std::string("4242 0 77 88\n"),                            // no start time 0
             std::string("4242 123456789 0 88\n"),                     // no owner 0
             std::string("4242 123456789 77 0\n"),                     // no owner start time 0
             std::string("2147483648 123456789 77 88\n"),              // pid out of range
             std::string("4242 18446744073709551616 77 88\n"),         // start time overflows
             std::string("4242 123456789 77 000000000000000000001\n"), // 21 digits
             std::string("0x10 123456789 77 88\n"),
             std::string("4242 1e9 77 88\n"),
             std::string("4242\t123456789 77 88\n"),
             std::string("4242 123\0 456789 77 88\n", 23), // a NUL byte
             std::string("4242 123456789 77 88") + std::string(200, ' ') + "\n",
         }) {
        EXPECT_FALSE(VpnClientRecord::Parse(text).has_value()) << "accepted: " << text;
    }
}

TEST(VpnClientRecord, FileIsPrivateAndNeverWrittenThroughALink)
{
    TempDir dir;
    const VpnClientRecord record = Sample();

    // A new file is created 0600 whatever the umask lets through.
    const ScopedUmask wideOpen(0);
    const QString path = dir.FilePath("openvpn.pid");
    ASSERT_TRUE(record.Save(path.toStdString()));
    EXPECT_EQ(ScopedUmask::ModeOf(path.toStdString()), 0600);
    const std::optional<VpnClientRecord> loaded = VpnClientRecord::Load(path.toStdString());
    ASSERT_TRUE(loaded.has_value());
    EXPECT_TRUE(*loaded == record);

    // A file found wider is replaced whole by a private one.
    const QString wide = dir.Write("wide.pid", QByteArray(100, 'x'));
    ASSERT_EQ(chmod(QFile::encodeName(wide).constData(), 0666), 0);
    ASSERT_TRUE(record.Save(wide.toStdString()));
    EXPECT_EQ(ScopedUmask::ModeOf(wide.toStdString()), 0600);
    QFile file(wide);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().toStdString(), record.Text());

    // A link is never followed: not for reading, and writing replaces the link itself.
    const QString target = dir.Write("target", "4242 123456789 77 88\n");
    const QString link = dir.FilePath("link.pid");
    ASSERT_TRUE(QFile::link(target, link));
    EXPECT_FALSE(VpnClientRecord::Load(link.toStdString()).has_value());
    EXPECT_TRUE(VpnClientRecord::Load(target.toStdString()).has_value());
    ASSERT_TRUE(record.Save(link.toStdString()));
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    EXPECT_EQ(ScopedUmask::ModeOf(link.toStdString()), 0600);
    QFile untouched(target);
    ASSERT_TRUE(untouched.open(QIODevice::ReadOnly));
    EXPECT_EQ(untouched.readAll(), QByteArray("4242 123456789 77 88\n"));
}

TEST(VpnClientRecord, MissingLongOrOddFilesHoldNoRecord)
{
    TempDir dir;
    EXPECT_FALSE(VpnClientRecord::Load(dir.FilePath("missing").toStdString()).has_value());
    EXPECT_FALSE(VpnClientRecord::Load(dir.Path().toStdString()).has_value()); // a folder
    EXPECT_FALSE(VpnClientRecord::Load("/dev/zero").has_value());              // endless
    // The line followed by more than a record may hold.
    const QByteArray line("4242 123456789 77 88\n");
    EXPECT_TRUE(VpnClientRecord::Load(dir.Write("ok", line).toStdString()).has_value());
    EXPECT_FALSE(
        VpnClientRecord::Load(dir.Write("long", line + QByteArray(1 << 20, '\n')).toStdString()).has_value());
}

} // namespace
