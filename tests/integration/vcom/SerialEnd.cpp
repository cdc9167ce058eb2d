#include "SerialEnd.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

int MsLeft(std::chrono::steady_clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

} // namespace

SerialEnd::~SerialEnd()
{
    Close();
}

bool SerialEnd::Open(const std::string& path)
{
    Close();
    m_fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0)
        return false;
    termios tio;
    if (tcgetattr(m_fd, &tio) != 0) {
        Close();
        return false;
    }
    cfmakeraw(&tio);
    cfsetspeed(&tio, B115200);
    tio.c_cflag |= CLOCAL | CREAD;
    if (tcsetattr(m_fd, TCSANOW, &tio) != 0) {
        Close();
        return false;
    }
    return true;
}

bool SerialEnd::OpenAsIs(const std::string& path)
{
    Close();
    m_fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    return m_fd >= 0;
}

void SerialEnd::Close()
{
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}

bool SerialEnd::Write(const std::string& data, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t done = 0;
    while (done < data.size()) {
        pollfd pfd = {m_fd, POLLOUT, 0};
        const int ready = poll(&pfd, 1, MsLeft(deadline));
        if (ready == 0)
            return false;
        if (ready < 0 && errno != EINTR)
            return false;
        const ssize_t n = write(m_fd, data.data() + done, data.size() - done);
        if (n > 0)
            done += static_cast<size_t>(n);
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
    }
    return true;
}

std::string SerialEnd::Read(size_t count, int timeoutMs)
{
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < count) {
        pollfd pfd = {m_fd, POLLIN, 0};
        const int ready = poll(&pfd, 1, MsLeft(deadline));
        if (ready == 0)
            break;
        if (ready < 0 && errno != EINTR)
            break;
        char buf[4096];
        const ssize_t n = read(m_fd, buf, std::min(sizeof buf, count - got.size()));
        if (n > 0)
            got.append(buf, static_cast<size_t>(n));
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            break;
    }
    return got;
}

bool SerialEnd::Silent(int timeoutMs)
{
    pollfd pfd = {m_fd, POLLIN, 0};
    return poll(&pfd, 1, timeoutMs) == 0;
}

bool SerialEnd::Exchange(SerialEnd& a, SerialEnd& b, const std::string& toB, const std::string& toA,
                         std::string* gotA, std::string* gotB, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    SerialEnd* ends[2] = {&a, &b};
    const std::string* outgoing[2] = {&toB, &toA};
    std::string* incoming[2] = {gotA, gotB};
    const size_t expected[2] = {toA.size(), toB.size()};
    size_t sent[2] = {0, 0};
    for (;;) {
        bool finished = true;
        pollfd fds[2];
        for (int i = 0; i < 2; ++i) {
            short events = 0;
            if (sent[i] < outgoing[i]->size())
                events |= POLLOUT;
            if (incoming[i]->size() < expected[i])
                events |= POLLIN;
            finished = finished && events == 0;
            fds[i] = {ends[i]->m_fd, events, 0};
        }
        if (finished)
            return true;
        const int ready = poll(fds, 2, MsLeft(deadline));
        if (ready == 0)
            return false;
        if (ready < 0 && errno != EINTR)
            return false;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].revents & POLLIN) {
                char buf[8192];
                const ssize_t n = read(ends[i]->m_fd, buf, sizeof buf);
                if (n > 0)
                    incoming[i]->append(buf, static_cast<size_t>(n));
                else if (n == 0 || (errno != EAGAIN && errno != EINTR))
                    return false;
            }
            if (fds[i].revents & POLLOUT) {
                // Small pieces, as a serial program writes, to exercise partial writes.
                const size_t piece = std::min<size_t>(1000, outgoing[i]->size() - sent[i]);
                const ssize_t n = write(ends[i]->m_fd, outgoing[i]->data() + sent[i], piece);
                if (n > 0)
                    sent[i] += static_cast<size_t>(n);
                else if (n < 0 && errno != EAGAIN && errno != EINTR)
                    return false;
            }
            if ((fds[i].revents & (POLLHUP | POLLERR | POLLNVAL)) && !(fds[i].revents & POLLIN))
                return false;
        }
    }
}
