#pragma once

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>

// The user application's side of a virtual COM pair: one end opened through its link
// in raw mode without blocking. Every wait is bounded by a time-out.
class PeerEnd
{
public:
    ~PeerEnd()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    bool Open(const std::string& path)
    {
        m_fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        termios tio;
        if (m_fd < 0 || tcgetattr(m_fd, &tio) != 0)
            return false;
        cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        return tcsetattr(m_fd, TCSANOW, &tio) == 0;
    }
    // Writes everything, waiting for room; false when the time-out passes first.
    bool Write(const std::string& data, int timeoutMs)
    {
        const auto deadline = Deadline(timeoutMs);
        size_t done = 0;
        while (done < data.size() && Wait(POLLOUT, deadline)) {
            const ssize_t n = write(m_fd, data.data() + done, data.size() - done);
            done += n > 0 ? static_cast<size_t>(n) : 0;
        }
        return done == data.size();
    }
    // Reads until `count` bytes have arrived or the time-out passes; returns what came.
    std::string Read(size_t count, int timeoutMs)
    {
        std::string got;
        char buffer[4096];
        const auto deadline = Deadline(timeoutMs);
        while (got.size() < count && Wait(POLLIN, deadline)) {
            const ssize_t n = read(m_fd, buffer, std::min(sizeof buffer, count - got.size()));
            got.append(buffer, n > 0 ? static_cast<size_t>(n) : 0);
        }
        return got;
    }

private:
    using Clock = std::chrono::steady_clock;
    static Clock::time_point Deadline(int ms) { return Clock::now() + std::chrono::milliseconds(ms); }
    // Waits until the descriptor is ready; false once the deadline has passed.
    bool Wait(short events, Clock::time_point deadline)
    {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd pfd = {m_fd, events, 0};
        return left > 0 && poll(&pfd, 1, static_cast<int>(left)) > 0;
    }

    int m_fd = -1;
};
