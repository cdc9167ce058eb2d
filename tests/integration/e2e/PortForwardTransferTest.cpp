// Bytes driven through a port-forward tunnel opened by `lumetra-cli open` to the far
// side's TCP echo device, by a local application on the tunnel's listener:
//  - 256 MiB of random bytes in writes of random sizes come back exactly as sent;
//  - a writer that never reads the echo is held back before it has pushed 512 MiB,
//    the client's peak resident size grows by less than 64 MiB meanwhile, and every
//    byte it got rid of still comes back in order;
//  - the trace log: one that cannot be written neither stops nor changes the transfer
//    (one line on standard error says so); with "trace_limit_mib" 1 it rotates at
//    1 MiB keeping one old file, its entries whole and in order up to the last bytes
//    received when the program ended on SIGINT; with "trace_data" "0" no entry.

#include "EchoBed.h"
#include "support/FreePort.h"
#include "support/ResourceUse.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <random>
#include <string>

namespace {

constexpr int64_t kMiB = 1024 * 1024;

// The bytes of every "local socket recv:" entry of `log`, in order; false (with
// `error`) at the first byte that is not part of a whole entry.
bool DecodeEntries(const QByteArray& log, QByteArray& bytes, std::string& error)
{
    const QByteArray label = "local socket recv:-";
    for (qsizetype at = 0; at < log.size();) {
        const qsizetype dash = log.indexOf('-', at + label.size());
        bool number = false;
        const int length = dash < 0 ? 0 : log.mid(at + label.size(), dash - at - label.size()).toInt(&number);
        if (!log.mid(at).startsWith(label) || !number || length < 1 ||
            dash + 1 + 4 * length + 2 > log.size() || log.mid(dash + 1 + 4 * length, 2) != "\r\n") {
            error = "no whole entry at offset " + std::to_string(at);
            return false;
        }
        for (int i = 0; i < length; ++i) {
            const QByteArray group = log.mid(dash + 1 + 4 * i, 4);
            bool hex = false;
            const int value = group.mid(1, 2).toInt(&hex, 16);
            if (group[0] != '[' || group[3] != ']' || !hex || group.mid(1, 2) != group.mid(1, 2).toUpper()) {
                error = "bad byte group at offset " + std::to_string(dash + 1 + 4 * i);
                return false;
            }
            bytes += static_cast<char>(value);
        }
        at = dash + 1 + 4 * length + 2;
    }
    return true;
}

int TraceLines(const EchoBed& bed)
{
    return static_cast<int>(bed.Err().count(QRegularExpression(QStringLiteral("(^|\n)trace log "))));
}

class PortForwardTransfer : public testing::Test
{
protected:
    // The far side started and the tunnel open; else what went wrong.
    static std::string Open(EchoBed& bed)
    {
        if (!bed.Start())
            return bed.Error().toStdString();
        return bed.Open() ? std::string() : (bed.Out() + bed.Err()).toStdString();
    }
    const uint64_t start_ = std::random_device()();
};

#define SKIP_UNLESS_FREE(port)                                                                               \
    if (!FreePort::IsFree(port))                                                                             \
    GTEST_SKIP() << "127.0.0.1:" << (port) << " cannot be bound here"

TEST_F(PortForwardTransfer, RandomBytesComeBackExactlyThroughTheTunnel)
{
    SKIP_UNLESS_FREE(5562);
    EchoBed bed(5562);
    ASSERT_EQ(Open(bed), "");
    SCOPED_TRACE("random stream started from " + std::to_string(start_));
    EchoStream stream(bed.ListenerPort(), start_);
    EXPECT_EQ(stream.Exchange(256 * kMiB), "");
    EXPECT_EQ(stream.Read(), 256 * kMiB);
    bed.Drain();
    EXPECT_EQ(bed.Interrupt(), 0) << bed.Err().toStdString();
}

TEST_F(PortForwardTransfer, WriterThatNeverReadsIsHeldBackAndEveryByteArrivesInOrder)
{
    SKIP_UNLESS_FREE(9600);
    EchoBed bed(9600);
    ASSERT_EQ(Open(bed), "");
    const long baselineKb = ResourceUse::PeakResidentKb(static_cast<pid_t>(bed.Pid()));
    ASSERT_GT(baselineKb, 0);

    EchoStream pusher(bed.ListenerPort(), start_);
    ASSERT_EQ(pusher.PushUnread(512 * kMiB, 4000), "");
    EXPECT_LT(pusher.Written(), 512 * kMiB) << "the writer was never held back";
    const long peakKb = ResourceUse::PeakResidentKb(static_cast<pid_t>(bed.Pid()));
    if (ResourceUse::MeasuresMemory()) {
        EXPECT_LT(peakKb - baselineKb, 64 * 1024) << "peak " << peakKb << " KiB, " << baselineKb
                                                  << " KiB at start; " << pusher.Written() << " bytes taken";
    }
    // Everything the writer got rid of comes back, in order.
    EXPECT_EQ(pusher.Exchange(pusher.Written()), "");
    EXPECT_EQ(pusher.Read(), pusher.Written());
    bed.Drain();
    EXPECT_EQ(bed.Interrupt(), 0) << bed.Err().toStdString();
}

TEST_F(PortForwardTransfer, UnwritableTraceLogNeitherStopsNorChangesTheTransferAndIsReportedOnce)
{
    SKIP_UNLESS_FREE(9600);
    EchoBed bed(9600);
    // A folder in the log's place cannot be opened for writing, even by root.
    ASSERT_TRUE(QDir(bed.Home()).mkdir(QStringLiteral("logtrace")));
    ASSERT_EQ(Open(bed), "");
    EXPECT_EQ(EchoStream(bed.ListenerPort(), start_).Exchange(4 * kMiB), "");
    // A second connection after many failed batches.
    EXPECT_EQ(EchoStream(bed.ListenerPort(), start_ + 1).Exchange(64 * 1024), "");
    EXPECT_EQ(bed.Interrupt(), 0) << bed.Err().toStdString();
    EXPECT_EQ(TraceLines(bed), 1) << bed.Err().toStdString();
    EXPECT_TRUE(bed.Err().contains(QStringLiteral("/logtrace: Is a directory; entries dropped from now on")))
        << bed.Err().toStdString();
    EXPECT_TRUE(QDir(bed.HomeFile(QStringLiteral("logtrace"))).isEmpty());
}

TEST_F(PortForwardTransfer, TraceLogRotatesAtItsLimitAndHoldsTheLastBytesWhenTheProgramEnds)
{
    SKIP_UNLESS_FREE(9600);
    EchoBed bed(9600);
    bed.SetPlatconfText("trace_limit_mib", "1");
    ASSERT_EQ(Open(bed), "");
    // 640 KiB in four-character groups: about 2.5 MiB of log, two rotations at least.
    constexpr int64_t kTotal = 640 * 1024;
    EchoStream stream(bed.ListenerPort(), start_);
    ASSERT_EQ(stream.Exchange(kTotal), "");
    // Ended at once: the last entries are written on the way out.
    EXPECT_EQ(bed.Interrupt(), 0) << bed.Err().toStdString();
    EXPECT_EQ(TraceLines(bed), 0) << bed.Err().toStdString();

    const QByteArray old = TempDir::Read(bed.HomeFile(QStringLiteral("logtrace.1")));
    const QByteArray current = TempDir::Read(bed.HomeFile(QStringLiteral("logtrace")));
    EXPECT_FALSE(QFile::exists(bed.HomeFile(QStringLiteral("logtrace.2"))));
    EXPECT_GT(old.size(), kMiB - 8 * 1024); // full up to one entry (a chunk of at most 1 KiB)
    EXPECT_LE(old.size(), kMiB);
    EXPECT_GT(current.size(), 0);
    EXPECT_LE(current.size(), kMiB);
    QByteArray bytes;
    std::string error;
    ASSERT_TRUE(DecodeEntries(old + current, bytes, error)) << error;
    // The newest received bytes, in order, up to the very last one.
    ASSERT_GT(bytes.size(), 0);
    ASSERT_LE(bytes.size(), kTotal);
    const int64_t first = kTotal - bytes.size();
    for (qsizetype i = 0; i < bytes.size(); ++i)
        ASSERT_EQ(static_cast<uint8_t>(bytes[i]), stream.Byte(first + i)) << "byte " << i << " of the log";
}

TEST_F(PortForwardTransfer, TraceDataOffWritesNoEntry)
{
    SKIP_UNLESS_FREE(9600);
    EchoBed bed(9600);
    bed.SetPlatconfText("trace_data", "0");
    ASSERT_EQ(Open(bed), "");
    EXPECT_EQ(EchoStream(bed.ListenerPort(), start_).Exchange(256 * 1024), "");
    EXPECT_EQ(bed.Interrupt(), 0) << bed.Err().toStdString();
    EXPECT_FALSE(QFile::exists(bed.HomeFile(QStringLiteral("logtrace"))));
    EXPECT_EQ(TraceLines(bed), 0) << bed.Err().toStdString();
}

} // namespace
