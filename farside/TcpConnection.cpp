#include "TcpConnection.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::string PeerOf(int fd)
{
    sockaddr_in address{};
    socklen_t length = sizeof(address);
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return "?";
    char text[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof(text));
    return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

} // namespace

TcpConnection::TcpConnection(int fd) : fd_(fd)
{
    const int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    peer_ = PeerOf(fd_);
}

TcpConnection::~TcpConnection()
{
    Close();
}

std::shared_ptr<TcpConnection> TcpConnection::Connect(const std::string& host, int port, int timeoutMs,
                                                      std::string* error)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int resolved = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (resolved != 0 || !found) {
        *error = "cannot resolve " + host + ": " + gai_strerror(resolved);
        return nullptr;
    }
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        freeaddrinfo(found);
        *error = std::string("socket: ") + std::strerror(errno);
        return nullptr;
    }
    int result = connect(fd, found->ai_addr, found->ai_addrlen);
    freeaddrinfo(found);
    if (result != 0 && errno == EINPROGRESS) {
        pollfd waiting{fd, POLLOUT, 0};
        result = poll(&waiting, 1, timeoutMs) == 1 ? 0 : -1;
        int soError = result == 0 ? 0 : ETIMEDOUT;
        socklen_t length = sizeof(soError);
        if (result == 0)
            getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &length);
        errno = soError;
        result = soError == 0 ? 0 : -1;
    }
    if (result != 0) {
        *error = "cannot connect to " + host + ":" + std::to_string(port) + ": " + std::strerror(errno);
        close(fd);
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return std::make_shared<TcpConnection>(fd);
}

std::string TcpConnection::Receive(size_t max, int timeoutMs)
{
    timedOut_ = false;
    int fd;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        fd = fd_;
    }
    if (fd < 0)
        return std::string();
    if (timeoutMs >= 0) {
        pollfd waiting{fd, POLLIN, 0};
        int ready;
        do
            ready = poll(&waiting, 1, timeoutMs);
        while (ready < 0 && errno == EINTR);
        if (ready == 0) {
            timedOut_ = true;
            return std::string();
        }
    }
    std::string bytes(max, '\0');
    ssize_t count;
    do
        count = recv(fd, &bytes[0], max, 0);
    while (count < 0 && errno == EINTR);
    bytes.resize(count > 0 ? static_cast<size_t>(count) : 0);
    return bytes;
}

bool TcpConnection::Send(const std::string& bytes)
{
    std::lock_guard<std::mutex> sending(sendMutex_);
    int fd;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        fd = fd_;
    }
    size_t sent = 0;
    while (fd >= 0 && sent < bytes.size()) {
        const ssize_t count = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        sent += static_cast<size_t>(count);
    }
    return fd >= 0;
}

void TcpConnection::Shutdown()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd_ >= 0)
        shutdown(fd_, SHUT_RDWR);
}

void TcpConnection::Close()
{
    // Wait for a send in progress, so the descriptor is not closed under it.
    Shutdown();
    std::lock_guard<std::mutex> sending(sendMutex_);
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
}
