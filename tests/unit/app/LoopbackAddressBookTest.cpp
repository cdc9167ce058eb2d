// The remembered loopback addresses of the port-forward devices, in a real file.

#include "app/LoopbackAddressBook.h"

#include "support/ScopedUmask.h"
#include "support/TempDir.h"

#include <QFile>

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

class LoopbackAddressBookTest : public ::testing::Test
{
protected:
    QByteArray FileBytes() const { return TempDir::Read(path_); }
    void WriteFile(const QByteArray& bytes)
    {
        QFile file(path_);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    TempDir dir_;
    const QString path_ = dir_.FilePath("tunnel_addresses");
    LoopbackAddressBook book_{path_};
};

TEST_F(LoopbackAddressBookTest, EachDeviceKeepsTheAddressFirstChosenForIt)
{
    const ScopedUmask wideOpen(0);
    EXPECT_EQ(book_.AddressFor("PLC-A", {}), "127.0.1.2");
    EXPECT_EQ(book_.AddressFor("DRIVE-B", {}), "127.0.1.3");
    EXPECT_EQ(book_.AddressFor("PLC-A", {}), "127.0.1.2");
    EXPECT_EQ(book_.Remembered("DRIVE-B"), "127.0.1.3");
    EXPECT_EQ(book_.Remembered("NONE"), "");
    EXPECT_EQ(FileBytes(), QByteArray("127.0.1.2 PLC-A\n127.0.1.3 DRIVE-B\n"));
    EXPECT_EQ(ScopedUmask::ModeOf(path_.toStdString()), 0600);
    // A new device skips addresses in use and those remembered for others.
    EXPECT_EQ(book_.AddressFor("METER-C", {"127.0.1.4"}), "127.0.1.5");
    // A device whose remembered address is held (the file changed meanwhile) gets
    // another and keeps that one.
    EXPECT_EQ(book_.AddressFor("PLC-A", {"127.0.1.2"}), "127.0.1.4");
    EXPECT_EQ(LoopbackAddressBook(path_).Remembered("PLC-A"), "127.0.1.4");
}

TEST_F(LoopbackAddressBookTest, DamagedLinesAndHostileFilesAreIgnored)
{
    WriteFile("127.0.1.7 GOOD\n"
              "127.0.1.1 HOST\n"    // the host's own name
              "127.0.1.255 BCAST\n" // outside the range
              "127.0.1.08 ZERO\n"   // not as the book writes it
              "127.0.2.9 OTHER\n"   // another network
              "127.0.1.9\n"         // no serial
              "127.0.1.10 two words\n"
              "10.0.0.1 FAR\n"
              "\x01\x02\n");
    EXPECT_EQ(book_.Remembered("GOOD"), "127.0.1.7");
    for (const char* serial : {"HOST", "BCAST", "ZERO", "OTHER", "FAR", "two", "two words"})
        EXPECT_EQ(book_.Remembered(serial), "") << serial;
    EXPECT_EQ(book_.AddressFor("NEW", {}), "127.0.1.2");
    EXPECT_EQ(FileBytes(), QByteArray("127.0.1.7 GOOD\n127.0.1.2 NEW\n"));

    // A file larger than the limit is ignored as a whole.
    WriteFile(QByteArray("127.0.1.7 GOOD\n") + QByteArray(LoopbackAddressBook::kMaxBytes, '#'));
    EXPECT_EQ(book_.Remembered("GOOD"), "");
    // Serials that cannot be written on a line get an address that is not remembered.
    ASSERT_TRUE(QFile::remove(path_));
    EXPECT_EQ(book_.AddressFor("WITH SPACE", {}), "127.0.1.2");
    EXPECT_EQ(book_.AddressFor(std::string(LoopbackAddressBook::kMaxSerialLength + 1, 'x'), {}), "127.0.1.2");
    EXPECT_FALSE(QFile::exists(path_));
}

TEST_F(LoopbackAddressBookTest, WhenEveryAddressIsRememberedTheOldestFreeOneIsTakenOver)
{
    const int count = LoopbackAddressBook::kLastHost - LoopbackAddressBook::kFirstHost + 1;
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(book_.AddressFor("D" + std::to_string(i), {}),
                  "127.0.1." + std::to_string(LoopbackAddressBook::kFirstHost + i));
    // D0 (127.0.1.2) listens now: D1's address, the next oldest, goes to the newcomer.
    EXPECT_EQ(book_.AddressFor("NEW", {"127.0.1.2"}), "127.0.1.3");
    EXPECT_EQ(book_.Remembered("D1"), "");
    EXPECT_EQ(book_.Remembered("D0"), "127.0.1.2");
    // Every address in use: none is left.
    std::set<std::string> all;
    for (int host = LoopbackAddressBook::kFirstHost; host <= LoopbackAddressBook::kLastHost; ++host)
        all.insert("127.0.1." + std::to_string(host));
    EXPECT_EQ(book_.AddressFor("LATE", all), "");
}

} // namespace
