#include "platform/TcpProbe.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

namespace {

// Closes the descriptor on every way out.
class FdGuard
{
public:
    explicit FdGuard(int fd) : fd_(fd) {}
    ~FdGuard()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    FdGuard(const FdGuard&) = delete;
    FdGuard& operator=(const FdGuard&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

// One connection attempt to `address` within `timeoutMs`; 0 when connected, else errno
// (ETIMEDOUT when the time ran out).
int ConnectOne(const addrinfo* address, int timeoutMs)
{
    FdGuard socketFd(socket(address->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (socketFd.Get() < 0)
        return errno;
    if (connect(socketFd.Get(), address->ai_addr, address->ai_addrlen) == 0)
        return 0;
    if (errno != EINPROGRESS)
        return errno;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return ETIMEDOUT;
        pollfd watch{socketFd.Get(), POLLOUT, 0};
        const int ready = poll(&watch, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return ready == 0 ? ETIMEDOUT : errno;
        int failure = 0;
        socklen_t length = sizeof failure;
        if (getsockopt(socketFd.Get(), SOL_SOCKET, SO_ERROR, &failure, &length) != 0)
            return errno;
        return failure;
    }
}

} // namespace

bool TcpProbe::Connect(const std::string& host, uint16_t port, int timeoutMs, std::string* error)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int resolved = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (resolved != 0 || found == nullptr) {
        *error = "cannot resolve \"" + host + "\": " + gai_strerror(resolved);
        return false;
    }
    const auto start = std::chrono::steady_clock::now();
    int failure = ETIMEDOUT;
    for (const addrinfo* address = found; address != nullptr; address = address->ai_next) {
        const int left = timeoutMs - static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                          std::chrono::steady_clock::now() - start)
                                                          .count());
        if (left <= 0)
            break;
        failure = ConnectOne(address, left);
        if (failure == 0)
            break;
    }
    freeaddrinfo(found);
    if (failure == 0)
        return true;
    *error = failure == ETIMEDOUT ? "no answer within " + std::to_string(timeoutMs) + " ms"
                                  : std::string(std::strerror(failure));
    return false;
}

int TcpProbe::TryListen(const std::string& address, uint16_t port)
{
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1)
        return EINVAL;
    FdGuard socketFd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (socketFd.Get() < 0)
        return errno;
    // As the tunnel's listener: a port left in TIME_WAIT by an earlier tunnel is free.
    const int on = 1;
    setsockopt(socketFd.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (bind(socketFd.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
        return errno;
    if (listen(socketFd.Get(), 1) != 0)
        return errno;
    return 0;
}

} // namespace platform
