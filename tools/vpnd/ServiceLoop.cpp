#include "ServiceLoop.h"

#include "VpnService.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <poll.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

struct Client
{
    int fd = -1;
    std::string buffer;
    Clock::time_point deadline;
};

void Answer(int fd, const std::string& line)
{
    const std::string text = line + "\n";
    // The answer is short; a peer that does not read it loses it.
    (void)!send(fd, text.data(), text.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

} // namespace

ServiceLoop::ServiceLoop(int listenFd, VpnService& service) : listenFd_(listenFd), service_(service) {}

int ServiceLoop::Listen(const std::string& path, std::string& error)
{
    struct sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        error = "socket path too long";
        return -1;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size());
    struct stat info;
    if (lstat(path.c_str(), &info) == 0) {
        if (!S_ISSOCK(info.st_mode)) {
            error = path + " exists and is no socket";
            return -1;
        }
        unlink(path.c_str());
    }
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return -1;
    }
    const mode_t old = umask(0);
    const bool bound = bind(fd, reinterpret_cast<struct sockaddr*>(&address), sizeof address) == 0;
    umask(old);
    if (!bound || chmod(path.c_str(), 0666) != 0 || listen(fd, 16) != 0) {
        error = path + ": " + std::strerror(errno);
        close(fd);
        return -1;
    }
    return fd;
}

int ServiceLoop::Inherited()
{
    const char* pid = std::getenv("LISTEN_PID");
    const char* fds = std::getenv("LISTEN_FDS");
    if (pid == nullptr || fds == nullptr || std::strtol(pid, nullptr, 10) != getpid() ||
        std::strtol(fds, nullptr, 10) < 1) {
        return -1;
    }
    constexpr int kFirstInherited = 3;
    struct stat info;
    if (fstat(kFirstInherited, &info) != 0 || !S_ISSOCK(info.st_mode)) {
        return -1;
    }
    return kFirstInherited;
}

int ServiceLoop::Run()
{
    sigset_t stops;
    sigemptyset(&stops);
    for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGCHLD}) {
        sigaddset(&stops, signal);
    }
    sigprocmask(SIG_BLOCK, &stops, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    const int signals = signalfd(-1, &stops, SFD_CLOEXEC | SFD_NONBLOCK);
    if (signals < 0) {
        return 1;
    }
    std::vector<Client> clients;
    for (;;) {
        std::vector<struct pollfd> watched = {{signals, POLLIN, 0}, {listenFd_, POLLIN, 0}};
        int timeoutMs = -1;
        const Clock::time_point now = Clock::now();
        for (const Client& client : clients) {
            watched.push_back({client.fd, POLLIN, 0});
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(client.deadline - now).count();
            const int ms = left < 0 ? 0 : static_cast<int>(left) + 1;
            timeoutMs = timeoutMs < 0 || ms < timeoutMs ? ms : timeoutMs;
        }
        if (poll(watched.data(), watched.size(), timeoutMs) < 0 && errno != EINTR) {
            break;
        }
        if ((watched[0].revents & POLLIN) != 0) {
            struct signalfd_siginfo info;
            bool stop = false;
            while (read(signals, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
                stop = stop || info.ssi_signo != SIGCHLD;
            }
            service_.Reap();
            if (stop) {
                break;
            }
        }
        // Requests first, in order of arrival; then new connections.
        std::vector<Client> kept;
        for (size_t i = 0; i < clients.size(); ++i) {
            Client& client = clients[i];
            bool done = false;
            if ((watched[i + 2].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                char chunk[1024];
                const ssize_t n = recv(client.fd, chunk, sizeof chunk, MSG_DONTWAIT);
                if (n <= 0 && !(n < 0 && (errno == EAGAIN || errno == EINTR))) {
                    done = true;
                } else if (n > 0) {
                    client.buffer.append(chunk, static_cast<size_t>(n));
                }
            }
            const size_t end = client.buffer.find('\n');
            if (!done && end != std::string::npos && end < kMaxRequestBytes) {
                struct ucred peer = {};
                socklen_t size = sizeof peer;
                if (getsockopt(client.fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) {
                    Answer(client.fd, "error the caller cannot be identified");
                } else {
                    Answer(client.fd, service_.Handle(client.buffer.substr(0, end), peer.uid));
                }
                done = true;
            } else if (!done && client.buffer.size() >= kMaxRequestBytes) {
                Answer(client.fd, "error request too long");
                done = true;
            } else if (!done && Clock::now() >= client.deadline) {
                Answer(client.fd, "error no request within the time");
                done = true;
            }
            if (done) {
                close(client.fd);
            } else {
                kept.push_back(std::move(client));
            }
        }
        clients = std::move(kept);
        if ((watched[1].revents & POLLIN) != 0) {
            const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd >= 0 && clients.size() >= kMaxClients) {
                Answer(fd, "error busy");
                close(fd);
            } else if (fd >= 0) {
                clients.push_back(
                    {fd, std::string(), Clock::now() + std::chrono::milliseconds(kClientTimeoutMs)});
            }
        }
    }
    for (const Client& client : clients) {
        close(client.fd);
    }
    service_.EndAll();
    close(signals);
    return 0;
}
