#include "endpoint/VpnServiceClient.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

std::string VpnServiceClient::SocketPath()
{
    const char* chosen = std::getenv("LUMETRA_VPND_SOCKET");
    if (chosen != nullptr && chosen[0] != '\0') {
        return chosen;
    }
    return geteuid() == 0 ? std::string() : std::string(kDefaultSocket);
}

std::optional<std::string> VpnServiceClient::Ask(const std::string& request)
{
    const std::string path = SocketPath();
    struct sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        return std::nullopt;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return std::nullopt;
    }
    if (connect(fd, reinterpret_cast<struct sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return std::nullopt;
    }
    const std::string line = request + "\n";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerTimeoutMs);
    const auto msLeft = [&deadline] {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        return left.count() < 0 ? 0 : static_cast<int>(left.count());
    };
    std::string answer;
    bool sent = send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size());
    while (sent && answer.find('\n') == std::string::npos && answer.size() < kMaxAnswerBytes) {
        struct pollfd watched = {fd, POLLIN, 0};
        const int ready = poll(&watched, 1, msLeft());
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            break;
        }
        char chunk[512];
        const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        answer.append(chunk, static_cast<size_t>(n));
    }
    close(fd);
    const size_t end = answer.find('\n');
    if (end == std::string::npos) {
        return std::string("error the VPN service gave no answer");
    }
    return answer.substr(0, end);
}
