#include "PeerEnd.h"

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

PeerEnd::~PeerEnd()
{
    Close();
}

bool PeerEnd::Open(const std::string& path)
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
    tio.c_cflag |= CLOCAL | CREAD;
    if (tcsetattr(m_fd, TCSANOW, &tio) != 0) {
        Close();
        return false;
    }
    return true;
}

void PeerEnd::Close()
{
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}

bool PeerEnd::Write(const std::string& data, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = write(m_fd, data.data() + done, data.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        pollfd pfd = {m_fd, POLLOUT, 0};
        if (poll(&pfd, 1, MsLeft(deadline)) == 0)
            return false;
    }
    return true;
}

std::string PeerEnd::Read(size_t count, int timeoutMs)
{
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < count) {
        char buffer[4096];
        const ssize_t n = read(m_fd, buffer, std::min(sizeof buffer, count - got.size()));
        if (n > 0) {
            got.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
        pollfd pfd = {m_fd, POLLIN, 0};
        const int ready = poll(&pfd, 1, MsLeft(deadline));
        if (ready == 0)
            break;
    }
    return got;
}
