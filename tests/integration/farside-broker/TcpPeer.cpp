#include "TcpPeer.h"

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int MillisecondsLeft(std::chrono::steady_clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

} // namespace

TcpPeer::~TcpPeer()
{
    if (fd_ >= 0)
        close(fd_);
}

bool TcpPeer::Connect(int port)
{
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return fd_ >= 0 && connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
}

bool TcpPeer::Send(const std::string& bytes)
{
    return send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

std::string TcpPeer::Read(size_t count, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string bytes;
    while (bytes.size() < count) {
        pollfd waiting{fd_, POLLIN, 0};
        if (poll(&waiting, 1, MillisecondsLeft(deadline)) != 1)
            break;
        char buffer[4096];
        const ssize_t got = recv(fd_, buffer, std::min(sizeof(buffer), count - bytes.size()), 0);
        if (got <= 0)
            break;
        bytes.append(buffer, static_cast<size_t>(got));
    }
    return bytes;
}

bool TcpPeer::WaitForClose(int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pollfd waiting{fd_, POLLIN, 0};
        if (poll(&waiting, 1, MillisecondsLeft(deadline)) != 1)
            return false;
        char buffer[4096];
        if (recv(fd_, buffer, sizeof(buffer), 0) <= 0)
            return true;
    }
}
