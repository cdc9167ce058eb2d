// The trace log of a port-forward tunnel opened by `lumetra-cli open` to the far
// side's TCP echo device, with bytes driven through the local listener:
//  - a trace log that cannot be written (a folder in its place) neither stops nor
//    changes the transfer, and the client says so in one line on standard error;
//  - with "trace_limit_mib" 1 the log rotates at 1 MiB keeping one old file, and
//    the entries, whole and in order, end with the last bytes received when the
//    program ended on SIGINT;
//  - with "trace_data" "0" no entry is written.

#include "support/FarsideBed.h"
#include "support/FreePort.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

const char kUser[] = "tracer";
const char kPassword[] = "tracer-pw";
// Device type 13 listens on 9600.
constexpr int kListenerPort = 9600;

const char kInventory[] = R"({"accounts":[{"userName":"tracer","password":"tracer-pw","orgId":52,
 "newRoleId":3,"accountsId":520,"gateways":[{"gwSn":"GW-TRACE","gwName":"Trace gateway",
 "nodeName":"Lab","isOnline":true,"devices":[
 {"deviceId":1,"id":"d1","deviceSn":"ECHO-NET","deviceName":"Echo","ifaceTypeName":"Ethernet",
  "online":true,"ifaceType":3,"ip":"127.0.0.1","port":0,"com":"","baud":0,"databit":0,"parity":0,
  "stopbit":0,"timeout":3000,"protocol":"13","tunType":1,"tunConnectType":0,
  "simulation":{"kind":"echo"}}]}]}]})";

constexpr int64_t kMiB = 1024 * 1024;
constexpr int kStallMs = 30000;

char PatternByte(int64_t offset)
{
    return static_cast<char>(offset % 251);
}

// Connects to the tunnel's listener, writes `total` pattern bytes while reading the
// echo and checks every byte. Empty when all came back; else what went wrong.
std::string EchoThroughTunnel(int64_t total)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return "no socket";
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(kListenerPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string error;
    pollfd ready{fd, POLLOUT, 0};
    if ((::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
         errno != EINPROGRESS) ||
        ::poll(&ready, 1, kStallMs) != 1 || (ready.revents & (POLLERR | POLLHUP)) != 0) {
        error = "no connection to the listener";
    }
    std::vector<char> block(64 * 1024);
    int64_t written = 0;
    int64_t read = 0;
    while (error.empty() && read < total) {
        ready = {fd, static_cast<short>(POLLIN | (written < total ? POLLOUT : 0)), 0};
        if (::poll(&ready, 1, kStallMs) != 1 || (ready.revents & (POLLERR | POLLNVAL)) != 0) {
            error = "stalled after " + std::to_string(read) + " bytes back";
            break;
        }
        if ((ready.revents & (POLLIN | POLLHUP)) != 0) {
            const ssize_t n = ::recv(fd, block.data(), block.size(), 0);
            if (n <= 0) {
                error = "echo ended after " + std::to_string(read) + " bytes";
                break;
            }
            for (ssize_t i = 0; i < n && error.empty(); ++i, ++read) {
                if (read >= written || block[i] != PatternByte(read))
                    error = "wrong byte at offset " + std::to_string(read);
            }
        }
        if ((ready.revents & POLLOUT) != 0 && written < total) {
            const int64_t count = std::min<int64_t>(16 * 1024, total - written);
            std::vector<char> out(static_cast<size_t>(count));
            for (int64_t i = 0; i < count; ++i)
                out[static_cast<size_t>(i)] = PatternByte(written + i);
            const ssize_t n = ::send(fd, out.data(), out.size(), MSG_NOSIGNAL);
            written += n > 0 ? n : 0;
        }
    }
    ::close(fd);
    return error;
}

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

class TraceBed : public FarsideBed
{
public:
    TraceBed() : FarsideBed(kUser, kPassword) {}
    ~TraceBed() override { EndCli(); }

    bool Start()
    {
        Broker().AddUser(kUser, kPassword);
        return StartBroker() && StartFarside(kInventory, {"--no-vpn-server"});
    }
    // Opens the tunnel; false when it did not print its listener.
    bool Open()
    {
        RunCli({"open", "GW-TRACE", "ECHO-NET"});
        return WaitForLine("ready: ").trimmed().toStdString() == "127.0.0.1:" + std::to_string(kListenerPort);
    }
    int TraceLines() const { return Err().count(QRegularExpression(QStringLiteral("(^|\n)trace log "))); }
};

class PortForwardTrace : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!FreePort::IsFree(kListenerPort))
            GTEST_SKIP() << "127.0.0.1:" << kListenerPort << " cannot be bound here";
    }
};

TEST_F(PortForwardTrace, UnwritableLogNeitherStopsNorChangesTheTransferAndIsReportedOnce)
{
    TraceBed bed;
    ASSERT_TRUE(bed.Start()) << bed.Error().toStdString();
    // A folder in the log's place cannot be opened for writing, even by root.
    ASSERT_TRUE(QDir(bed.Home()).mkdir(QStringLiteral("logtrace")));
    ASSERT_TRUE(bed.Open()) << bed.Out().toStdString() << bed.Err().toStdString();

    EXPECT_EQ(EchoThroughTunnel(4 * kMiB), "");
    EXPECT_EQ(EchoThroughTunnel(64 * 1024), ""); // a second connection after many failed batches
    EXPECT_EQ(bed.Interrupt(), 0) << bed.Err().toStdString();
    EXPECT_EQ(bed.TraceLines(), 1) << bed.Err().toStdString();
    EXPECT_TRUE(bed.Err().contains(QStringLiteral("/logtrace: Is a directory; entries dropped from now on")))
        << bed.Err().toStdString();
    EXPECT_TRUE(QDir(bed.HomeFile(QStringLiteral("logtrace"))).isEmpty());
}

TEST_F(PortForwardTrace, LogRotatesAtItsLimitAndHoldsTheLastBytesWhenTheProgramEnds)
{
    TraceBed bed;
    bed.SetPlatconfText("trace_limit_mib", "1");
    ASSERT_TRUE(bed.Start()) << bed.Error().toStdString();
    ASSERT_TRUE(bed.Open()) << bed.Out().toStdString() << bed.Err().toStdString();

    // 640 KiB in four-character groups: about 2.5 MiB of log, two rotations at least.
    constexpr int64_t kTotal = 640 * 1024;
    ASSERT_EQ(EchoThroughTunnel(kTotal), "");
    // Ended at once: the last entries are written on the way out.
    EXPECT_EQ(bed.Interrupt(), 0) << bed.Err().toStdString();
    EXPECT_EQ(bed.TraceLines(), 0) << bed.Err().toStdString();

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
        ASSERT_EQ(bytes[i], PatternByte(first + i)) << "byte " << i << " of the log";
}

TEST_F(PortForwardTrace, TraceDataOffWritesNoEntry)
{
    TraceBed bed;
    bed.SetPlatconfText("trace_data", "0");
    ASSERT_TRUE(bed.Start()) << bed.Error().toStdString();
    ASSERT_TRUE(bed.Open()) << bed.Out().toStdString() << bed.Err().toStdString();
    EXPECT_EQ(EchoThroughTunnel(256 * 1024), "");
    EXPECT_EQ(bed.Interrupt(), 0) << bed.Err().toStdString();
    EXPECT_FALSE(QFile::exists(bed.HomeFile(QStringLiteral("logtrace"))));
    EXPECT_EQ(bed.TraceLines(), 0) << bed.Err().toStdString();
}

} // namespace
