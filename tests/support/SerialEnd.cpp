#include "SerialEnd.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

bool SerialEnd::Open(const std::string& path)
{
    termios tio;
    if (OpenAsIs(path) && tcgetattr(fd_, &tio) == 0) {
        cfmakeraw(&tio);
        cfsetspeed(&tio, B115200);
        tio.c_cflag |= CLOCAL | CREAD;
        if (tcsetattr(fd_, TCSANOW, &tio) == 0)
            return true;
    }
    Close();
    return false;
}

bool SerialEnd::OpenAsIs(const std::string& path)
{
    Close();
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    return IsOpen();
}

void SerialEnd::Close()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
}

bool SerialEnd::Write(const std::string& data, int timeoutMs)
{
    std::string got;
    return Pump({{this, &data, &got, 0}}, timeoutMs);
}

std::string SerialEnd::Read(size_t count, int timeoutMs)
{
    const std::string none;
    std::string got;
    Pump({{this, &none, &got, count}}, timeoutMs);
    return got;
}

bool SerialEnd::Silent(int timeoutMs)
{
    pollfd pfd = {fd_, POLLIN, 0};
    return poll(&pfd, 1, timeoutMs) == 0;
}

bool SerialEnd::Exchange(SerialEnd& a, SerialEnd& b, const std::string& toB, const std::string& toA,
                         std::string* gotA, std::string* gotB, int timeoutMs)
{
    return Pump({{&a, &toB, gotA, toA.size()}, {&b, &toA, gotB, toB.size()}}, timeoutMs);
}

bool SerialEnd::Pump(std::vector<Job> jobs, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        std::vector<pollfd> fds;
        bool finished = true;
        for (const Job& job : jobs) {
            const int events =
                (job.sent < job.out->size() ? POLLOUT : 0) | (job.in->size() < job.want ? POLLIN : 0);
            finished = finished && events == 0;
            fds.push_back({job.end->fd_, static_cast<short>(events), 0});
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (finished)
            return true;
        const int ready =
            poll(fds.data(), fds.size(), static_cast<int>(std::max<long long>(left.count(), 0)));
        if (ready == 0 || (ready < 0 && errno != EINTR))
            return false;
        for (size_t i = 0; i < jobs.size() && ready > 0; ++i) {
            Job& job = jobs[i];
            char buf[8192];
            if (fds[i].revents & POLLIN) {
                const ssize_t n = read(job.end->fd_, buf, std::min(sizeof buf, job.want - job.in->size()));
                if (n > 0)
                    job.in->append(buf, static_cast<size_t>(n));
                else if (n == 0 || (errno != EAGAIN && errno != EINTR))
                    return false;
            } else if (fds[i].revents & (POLLHUP | POLLERR | POLLNVAL))
                return false;
            if (fds[i].revents & POLLOUT) {
                // Small pieces, as a serial program writes, to exercise partial writes.
                const ssize_t n = write(job.end->fd_, job.out->data() + job.sent,
                                        std::min<size_t>(1000, job.out->size() - job.sent));
                if (n > 0)
                    job.sent += static_cast<size_t>(n);
                else if (n < 0 && errno != EAGAIN && errno != EINTR)
                    return false;
            }
        }
    }
}

bool HoldsDevice(const std::string& link)
{
    char device[PATH_MAX];
    char target[PATH_MAX];
    for (int fd = 0; realpath(link.c_str(), device) != nullptr && fd < 1024; ++fd) {
        const ssize_t n =
            readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<size_t>(n)) == device)
            return true;
    }
    return false;
}
