// A port-forward tunnel opened by `lumetra-cli open` to the far side's TCP echo
// device: 256 MiB of random bytes, written by a local application in blocks of
// random sizes while it reads the echo, come back through the local listener, the
// relay server and the device exactly as they were sent (every byte compared, and the
// checksums of both directions equal).

#include "support/FarsideBed.h"
#include "support/FreePort.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

const char kUser[] = "bulk";
const char kPassword[] = "bulk-pw";
// Device type 10 listens on 5562.
constexpr int kListenerPort = 5562;

const char kInventory[] = R"({"accounts":[{"userName":"bulk","password":"bulk-pw","orgId":52,
 "newRoleId":3,"accountsId":520,"gateways":[{"gwSn":"GW-BULK","gwName":"Bulk gateway",
 "nodeName":"Lab","isOnline":true,"devices":[
 {"deviceId":1,"id":"d1","deviceSn":"ECHO-NET","deviceName":"Echo","ifaceTypeName":"Ethernet",
  "online":true,"ifaceType":3,"ip":"127.0.0.1","port":0,"com":"","baud":0,"databit":0,"parity":0,
  "stopbit":0,"timeout":3000,"protocol":"10","tunType":1,"tunConnectType":0,
  "simulation":{"kind":"echo"}}]}]}]})";

constexpr int64_t kTotal = 256LL * 1024 * 1024;
constexpr size_t kLargestWrite = 64 * 1024;
// Upper bound of a wait without progress in either direction.
constexpr int kStallMs = 30000;

// A reproducible stream of random bytes: the writer and the checker each run one
// from the same start.
class ByteStream
{
public:
    explicit ByteStream(uint64_t start) : engine_(start) {}

    void Fill(uint8_t* out, size_t count)
    {
        for (size_t i = 0; i < count; ++i) {
            if (left_ == 0) {
                word_ = engine_();
                left_ = 8;
            }
            out[i] = static_cast<uint8_t>(word_);
            word_ >>= 8;
            --left_;
        }
    }

private:
    std::mt19937_64 engine_;
    uint64_t word_ = 0;
    int left_ = 0;
};

// FNV-1a over a byte stream, block by block.
class Checksum
{
public:
    void Add(const uint8_t* bytes, size_t count)
    {
        for (size_t i = 0; i < count; ++i) {
            value_ = (value_ ^ bytes[i]) * 0x100000001b3ULL;
        }
    }
    uint64_t Value() const { return value_; }

private:
    uint64_t value_ = 0xcbf29ce484222325ULL;
};

int ConnectListener()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(kListenerPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    pollfd ready{fd, POLLOUT, 0};
    if ((::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
         errno != EINPROGRESS) ||
        ::poll(&ready, 1, kStallMs) != 1 || (ready.revents & (POLLERR | POLLHUP)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

class BulkBed : public FarsideBed
{
public:
    BulkBed() : FarsideBed(kUser, kPassword) {}
    ~BulkBed() override { EndCli(); }

    bool Start()
    {
        Broker().AddUser(kUser, kPassword);
        return StartBroker() && StartFarside(kInventory, {"--no-vpn-server"});
    }
};

TEST(PortForwardBulk, RandomBytesComeBackExactlyThroughTheTunnel)
{
    if (!FreePort::IsFree(kListenerPort)) {
        GTEST_SKIP() << "127.0.0.1:" << kListenerPort << " cannot be bound here";
    }
    BulkBed bed;
    ASSERT_TRUE(bed.Start()) << bed.Error().toStdString();
    bed.RunCli({"open", "GW-BULK", "ECHO-NET"});
    ASSERT_EQ(bed.WaitForLine("ready: ").trimmed().toStdString(),
              "127.0.0.1:" + std::to_string(kListenerPort))
        << bed.Out().toStdString() << bed.Err().toStdString();
    const int fd = ConnectListener();
    ASSERT_GE(fd, 0);

    const uint64_t start = std::random_device()();
    SCOPED_TRACE("random stream started from " + std::to_string(start));
    ByteStream sent(start);
    ByteStream expected(start);
    std::mt19937 sizes(static_cast<uint32_t>(start));
    std::uniform_int_distribution<size_t> writeSize(1, kLargestWrite);
    Checksum sentSum;
    Checksum echoedSum;
    std::vector<uint8_t> out(kLargestWrite);
    size_t outSize = 0;
    size_t outDone = 0;
    std::vector<uint8_t> in(kLargestWrite);
    std::vector<uint8_t> want(kLargestWrite);
    int64_t written = 0;
    int64_t read = 0;
    std::string error;
    while (error.empty() && read < kTotal) {
        if (outDone == outSize && written < kTotal) {
            outSize = static_cast<size_t>(
                std::min<int64_t>(static_cast<int64_t>(writeSize(sizes)), kTotal - written));
            outDone = 0;
            sent.Fill(out.data(), outSize);
            sentSum.Add(out.data(), outSize);
        }
        const bool writing = outDone < outSize;
        pollfd ready{fd, static_cast<short>(POLLIN | (writing ? POLLOUT : 0)), 0};
        const int polled = ::poll(&ready, 1, kStallMs);
        if (polled <= 0) {
            error = polled == 0 ? "no progress for " + std::to_string(kStallMs) + " ms" : "poll failed";
            break;
        }
        if ((ready.revents & POLLIN) != 0) {
            const ssize_t n = ::recv(fd, in.data(), in.size(), 0);
            if (n <= 0) {
                error = "echo ended after " + std::to_string(read) + " bytes";
                break;
            }
            const size_t count = static_cast<size_t>(n);
            if (read + n > written) {
                error = "more bytes came back than were sent";
                break;
            }
            expected.Fill(want.data(), count);
            const auto wrong = std::mismatch(in.begin(), in.begin() + n, want.begin());
            if (wrong.first != in.begin() + n) {
                error = "wrong byte at offset " + std::to_string(read + (wrong.first - in.begin()));
                break;
            }
            echoedSum.Add(in.data(), count);
            read += n;
        } else if ((ready.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            error = "connection failed after " + std::to_string(read) + " bytes back";
            break;
        }
        if (writing && (ready.revents & POLLOUT) != 0) {
            const ssize_t n = ::send(fd, out.data() + outDone, outSize - outDone, MSG_NOSIGNAL);
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                error = "write failed after " + std::to_string(written) + " bytes";
                break;
            }
            outDone += n > 0 ? static_cast<size_t>(n) : 0;
            written += n > 0 ? n : 0;
        }
    }
    ::close(fd);
    EXPECT_TRUE(error.empty()) << error;
    EXPECT_EQ(written, kTotal);
    EXPECT_EQ(read, kTotal);
    EXPECT_EQ(echoedSum.Value(), sentSum.Value());
    bed.Drain();
    EXPECT_EQ(bed.Interrupt(), 0) << bed.Err().toStdString();
}

} // namespace
