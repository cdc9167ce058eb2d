#pragma once

#include <string>

// A blocking TCP client on loopback for tests: the PC's end of a port-transfer or
// relay connection.
class TcpPeer
{
public:
    TcpPeer() = default;
    ~TcpPeer();
    TcpPeer(const TcpPeer&) = delete;
    TcpPeer& operator=(const TcpPeer&) = delete;

    bool Connect(int port);
    bool Send(const std::string& bytes);
    // Reads exactly `count` bytes, waiting at most `timeoutMs` in all; what arrived
    // (possibly fewer bytes) is returned.
    std::string Read(size_t count, int timeoutMs = 10000);
    // Whether the far end closed the connection within `timeoutMs` (bytes that arrive
    // meanwhile are discarded).
    bool WaitForClose(int timeoutMs = 10000);

private:
    int fd_ = -1;
};
