#include "EchoBed.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace {

const char kUser[] = "echo";
const char kPassword[] = "echo-pw";
// Upper bound of a wait without progress while reading.
constexpr int kStallMs = 30000;
constexpr size_t kLargestWrite = 64 * 1024;

QByteArray Inventory(int listenerPort)
{
    const char* protocol = listenerPort == 5562 ? "10" : "13";
    return QByteArray(R"({"accounts":[{"userName":"echo","password":"echo-pw","orgId":52,
 "newRoleId":3,"accountsId":520,"gateways":[{"gwSn":"GW-ECHO","gwName":"Echo gateway",
 "nodeName":"Lab","isOnline":true,"devices":[
 {"deviceId":1,"id":"d1","deviceSn":"ECHO-NET","deviceName":"Echo","ifaceTypeName":"Ethernet",
  "online":true,"ifaceType":3,"ip":"127.0.0.1","port":0,"com":"","baud":0,"databit":0,"parity":0,
  "stopbit":0,"timeout":3000,"protocol":")") +
           protocol + R"(","tunType":1,"tunConnectType":0,"simulation":{"kind":"echo"}}]}]}]})";
}

uint64_t Mix(uint64_t x)
{
    // splitmix64: a well-spread 64-bit value for each input.
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

} // namespace

EchoBed::EchoBed(int listenerPort) : FarsideBed(kUser, kPassword), port_(listenerPort) {}

EchoBed::~EchoBed()
{
    EndCli();
}

bool EchoBed::Start()
{
    Broker().AddUser(kUser, kPassword);
    return StartBroker() && StartFarside(Inventory(port_), {"--no-vpn-server"});
}

bool EchoBed::Open()
{
    RunCli({"open", "GW-ECHO", "ECHO-NET"});
    return WaitForLine("ready: ").trimmed().toStdString() == "127.0.0.1:" + std::to_string(port_);
}

EchoStream::EchoStream(int port, uint64_t start) : start_(start), sizes_(start)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    pollfd ready{fd, POLLOUT, 0};
    if ((::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
         errno != EINPROGRESS) ||
        ::poll(&ready, 1, kStallMs) != 1 || (ready.revents & (POLLERR | POLLHUP)) != 0) {
        ::close(fd);
        return;
    }
    fd_ = fd;
}

EchoStream::~EchoStream()
{
    if (fd_ >= 0)
        ::close(fd_);
}

uint8_t EchoStream::Byte(int64_t offset) const
{
    return static_cast<uint8_t>(Mix(start_ + static_cast<uint64_t>(offset / 8)) >> (8 * (offset % 8)));
}

std::string EchoStream::Exchange(int64_t writeUpTo)
{
    return Move(writeUpTo, true, kStallMs);
}

std::string EchoStream::PushUnread(int64_t limit, int heldMs)
{
    return Move(limit, false, heldMs);
}

std::string EchoStream::Move(int64_t writeUpTo, bool reading, int waitMs)
{
    if (fd_ < 0)
        return "no connection to the listener";
    std::vector<uint8_t> out(kLargestWrite);
    std::vector<uint8_t> in(kLargestWrite);
    size_t outSize = 0;
    size_t outDone = 0;
    while (written_ < writeUpTo || (reading && read_ < written_)) {
        if (outDone == outSize && written_ < writeUpTo) {
            sizes_ = Mix(sizes_);
            outSize = static_cast<size_t>(
                std::min<int64_t>(static_cast<int64_t>(1 + sizes_ % kLargestWrite), writeUpTo - written_));
            outDone = 0;
            for (size_t i = 0; i < outSize; ++i)
                out[i] = Byte(written_ + static_cast<int64_t>(i));
        }
        const bool writing = outDone < outSize;
        pollfd ready{fd_, static_cast<short>((writing ? POLLOUT : 0) | (reading ? POLLIN : 0)), 0};
        const int polled = ::poll(&ready, 1, waitMs);
        if (polled == 0)
            return reading ? "no progress for " + std::to_string(waitMs) + " ms" : std::string();
        if (polled < 0 || (ready.revents & (POLLERR | POLLNVAL)) != 0 ||
            (!reading && (ready.revents & POLLHUP) != 0))
            return "connection failed after " + std::to_string(read_) + " bytes back";
        if ((ready.revents & (POLLIN | POLLHUP)) != 0) {
            const ssize_t n = ::recv(fd_, in.data(), in.size(), 0);
            if (n <= 0)
                return "echo ended after " + std::to_string(read_) + " bytes";
            for (ssize_t i = 0; i < n; ++i, ++read_) {
                if (read_ >= written_ || in[static_cast<size_t>(i)] != Byte(read_))
                    return "wrong byte at offset " + std::to_string(read_);
            }
        }
        if (writing && (ready.revents & POLLOUT) != 0) {
            const ssize_t n = ::send(fd_, out.data() + outDone, outSize - outDone, MSG_NOSIGNAL);
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                return "write failed after " + std::to_string(written_) + " bytes";
            outDone += n > 0 ? static_cast<size_t>(n) : 0;
            written_ += n > 0 ? n : 0;
        }
    }
    return std::string();
}
