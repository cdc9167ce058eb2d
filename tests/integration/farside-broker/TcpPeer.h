#pragma once

// A blocking TCP client on loopback for tests: the PC's end of a port-transfer link.

#include <arpa/inet.h>
#include <chrono>
#include <cstdint>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

class TcpPeer
{
public:
    TcpPeer() = default;
    ~TcpPeer() { close(fd_); }
    TcpPeer(const TcpPeer&) = delete;
    TcpPeer& operator=(const TcpPeer&) = delete;

    bool Connect(int port)
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return fd_ >= 0 && connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    }
    bool Send(const std::string& bytes)
    {
        return send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }
    // Reads until `count` bytes arrived, the far end closed or 10 s passed.
    std::string Read(size_t count)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        std::string bytes;
        char buffer[4096];
        while (bytes.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd waiting{fd_, POLLIN, 0};
            if (left.count() <= 0 || poll(&waiting, 1, static_cast<int>(left.count())) != 1)
                break;
            const ssize_t got = recv(fd_, buffer, std::min(sizeof buffer, count - bytes.size()), 0);
            closed_ = got <= 0;
            if (closed_)
                break;
            bytes.append(buffer, static_cast<size_t>(got));
        }
        return bytes;
    }
    // Whether the far end closed within 10 s (bytes meanwhile are discarded).
    bool WaitForClose()
    {
        Read(SIZE_MAX);
        return closed_;
    }

private:
    int fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool closed_ = false;
};
