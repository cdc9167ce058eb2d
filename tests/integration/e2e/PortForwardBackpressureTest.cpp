// A port-forward tunnel opened by `lumetra-cli open` to the far side's TCP echo
// device, driven through the local listener by a local application:
//  - a 16 MiB transfer read while it is written comes back complete and in order;
//  - a writer that never reads the echo is held back (its writes stop being taken)
//    before it has pushed 512 MiB, the client's peak resident size grows by less
//    than 64 MiB meanwhile, and every byte it got rid of still comes back in order.

#include "support/FarsideBed.h"
#include "support/FreePort.h"
#include "support/ResourceUse.h"

#include <gtest/gtest.h>

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

const char kUser[] = "flow";
const char kPassword[] = "flow-pw";
// Device type 13 listens on 9600.
constexpr int kListenerPort = 9600;

const char kInventory[] = R"({"accounts":[{"userName":"flow","password":"flow-pw","orgId":51,
 "newRoleId":3,"accountsId":510,"gateways":[{"gwSn":"GW-FLOW","gwName":"Flow gateway",
 "nodeName":"Lab","isOnline":true,"devices":[
 {"deviceId":1,"id":"d1","deviceSn":"ECHO-NET","deviceName":"Echo","ifaceTypeName":"Ethernet",
  "online":true,"ifaceType":3,"ip":"127.0.0.1","port":0,"com":"","baud":0,"databit":0,"parity":0,
  "stopbit":0,"timeout":3000,"protocol":"13","tunType":1,"tunConnectType":0,
  "simulation":{"kind":"echo"}}]}]}]})";

constexpr int64_t kMiB = 1024 * 1024;
// A write that makes no progress for this long counts as held back.
constexpr int kHeldMs = 4000;
// Upper bound of every other wait for the socket.
constexpr int kStallMs = 30000;

uint8_t PatternByte(int64_t offset)
{
    return static_cast<uint8_t>(offset % 251);
}

// A non-blocking connection to the tunnel's local listener; -1 when none.
int ConnectListener()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(kListenerPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0) {
        return -1;
    }
    pollfd ready{fd, POLLOUT, 0};
    if ((::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
         errno != EINPROGRESS) ||
        ::poll(&ready, 1, kStallMs) != 1 || (ready.revents & (POLLERR | POLLHUP)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Moves the pattern through `fd`: writes bytes [written, writeUpTo) and reads the echo
// into [read, ...), checking each byte. With `reading` off, stops writing once a
// write made no progress for kHeldMs. Returns false (with `error`) on a wrong byte,
// a failure or a read stall.
bool Exchange(int fd, int64_t writeUpTo, bool reading, int64_t& written, int64_t& read, std::string& error)
{
    std::vector<char> block(64 * 1024);
    std::vector<uint8_t> in(64 * 1024);
    while (written < writeUpTo || (reading && read < written)) {
        pollfd ready{fd, static_cast<short>((written < writeUpTo ? POLLOUT : 0) | (reading ? POLLIN : 0)), 0};
        const int polled = ::poll(&ready, 1, reading ? kStallMs : kHeldMs);
        if (polled == 0) {
            if (!reading) {
                return true; // held back
            }
            error = "no progress for " + std::to_string(kStallMs) + " ms";
            return false;
        }
        if (polled < 0 || (ready.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            error = "connection failed";
            return false;
        }
        if ((ready.revents & POLLIN) != 0) {
            const ssize_t n = ::recv(fd, in.data(), in.size(), 0);
            if (n <= 0) {
                error = "echo ended after " + std::to_string(read) + " bytes";
                return false;
            }
            for (ssize_t i = 0; i < n; ++i, ++read) {
                if (read >= written || in[i] != PatternByte(read)) {
                    error = "wrong byte at offset " + std::to_string(read);
                    return false;
                }
            }
        }
        if ((ready.revents & POLLOUT) != 0 && written < writeUpTo) {
            const int64_t count = std::min<int64_t>(static_cast<int64_t>(block.size()), writeUpTo - written);
            for (int64_t i = 0; i < count; ++i) {
                block[i] = static_cast<char>(PatternByte(written + i));
            }
            const ssize_t n = ::send(fd, block.data(), static_cast<size_t>(count), MSG_NOSIGNAL);
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                error = "write failed";
                return false;
            }
            written += n > 0 ? n : 0;
        }
    }
    return true;
}

class FlowBed : public FarsideBed
{
public:
    FlowBed() : FarsideBed(kUser, kPassword) {}
    ~FlowBed() override { EndCli(); }

    bool Start()
    {
        Broker().AddUser(kUser, kPassword);
        return StartBroker() && StartFarside(kInventory, {"--no-vpn-server"});
    }
};

TEST(PortForwardBackpressure, WriterThatNeverReadsIsHeldBackAndEveryByteArrivesInOrder)
{
    if (!FreePort::IsFree(kListenerPort)) {
        GTEST_SKIP() << "127.0.0.1:" << kListenerPort << " cannot be bound here";
    }
    FlowBed bed;
    ASSERT_TRUE(bed.Start()) << bed.Error().toStdString();
    bed.RunCli({"open", "GW-FLOW", "ECHO-NET"});
    ASSERT_EQ(bed.WaitForLine("ready: ").trimmed().toStdString(),
              "127.0.0.1:" + std::to_string(kListenerPort))
        << bed.Out().toStdString() << bed.Err().toStdString();
    const long baselineKb = ResourceUse::PeakResidentKb(static_cast<pid_t>(bed.Pid()));
    ASSERT_GT(baselineKb, 0);

    std::string error;
    int64_t written = 0;
    int64_t read = 0;
    const int bulk = ConnectListener();
    ASSERT_GE(bulk, 0);
    EXPECT_TRUE(Exchange(bulk, 16 * kMiB, true, written, read, error)) << error;
    EXPECT_EQ(read, 16 * kMiB);
    ::close(bulk);

    const int pusher = ConnectListener();
    ASSERT_GE(pusher, 0);
    written = 0;
    read = 0;
    ASSERT_TRUE(Exchange(pusher, 512 * kMiB, false, written, read, error)) << error;
    EXPECT_LT(written, 512 * kMiB) << "the writer was never held back";
    const long peakKb = ResourceUse::PeakResidentKb(static_cast<pid_t>(bed.Pid()));
    if (ResourceUse::MeasuresMemory()) {
        EXPECT_LT(peakKb - baselineKb, 64 * 1024)
            << "peak " << peakKb << " KiB, " << baselineKb << " KiB at start; " << written << " bytes taken";
    }
    // Everything the writer got rid of comes back, in order.
    EXPECT_TRUE(Exchange(pusher, written, true, written, read, error)) << error;
    EXPECT_EQ(read, written);
    ::close(pusher);
    bed.Drain();
    EXPECT_EQ(bed.Interrupt(), 0) << bed.Err().toStdString();
}

} // namespace
