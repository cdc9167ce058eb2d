#include "support/FreePort.h"

#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <random>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Binds a loopback socket to `port` (0: any) of `host` (127.0.0.1 when null);
// returns the bound port or 0.
int BindLoopback(int port, const char* host = nullptr)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (host != nullptr && inet_pton(AF_INET, host, &address.sin_addr) != 1) {
        close(fd);
        return 0;
    }
    address.sin_port = htons(static_cast<uint16_t>(port));
    int bound = 0;
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(fd, 1) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        bound = ntohs(address.sin_port);
    close(fd);
    return bound;
}

} // namespace

int FreePort::Pick()
{
    int low = 32768;
    if (FILE* range = std::fopen("/proc/sys/net/ipv4/ip_local_port_range", "r")) {
        if (std::fscanf(range, "%d", &low) != 1)
            low = 32768;
        std::fclose(range);
    }
    constexpr int kFirst = 10000;
    if (low - kFirst >= 1000) {
        std::mt19937 random(std::random_device{}());
        std::uniform_int_distribution<int> candidate(kFirst, low - 1);
        for (int attempt = 0; attempt < 200; ++attempt) {
            const int port = candidate(random);
            if (BindLoopback(port) == port)
                return port;
        }
    }
    return BindLoopback(0);
}

bool FreePort::IsFree(int port)
{
    return port > 0 && BindLoopback(port) == port;
}

bool FreePort::IsFree(int port, const char* host)
{
    return port > 0 && BindLoopback(port, host) == port;
}

bool FreePort::Accepts(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool connected = fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0)
        close(fd);
    return connected;
}
