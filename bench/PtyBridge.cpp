#include "PtyBridge.h"

#include "Wire.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

// Copies what `from` has to `to`; false when `from` ended or failed.
bool Copy(int from, int to)
{
    char buffer[16384];
    const ssize_t n = read(from, buffer, sizeof buffer);
    if (n < 0) {
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    }
    if (n == 0) {
        return isatty(from) != 0; // a terminal with nothing to read, or the peer's end
    }
    std::string error;
    return Wire::WriteAll(to, buffer, static_cast<size_t>(n), 5000, &error);
}

} // namespace

PtyBridge::~PtyBridge()
{
    Stop();
}

bool PtyBridge::Start(const std::string& ttyPath, int port, std::string* error)
{
    tty_ = Wire::OpenRawTty(ttyPath, error);
    if (tty_ < 0) {
        return false;
    }
    socket_ = Wire::ConnectLoopback(port, error);
    if (socket_ < 0 || pipe2(wake_, O_CLOEXEC) != 0) {
        Stop();
        return false;
    }
    thread_ = std::thread(&PtyBridge::Loop, this);
    return true;
}

void PtyBridge::Stop()
{
    if (thread_.joinable()) {
        const char byte = 0;
        (void)!write(wake_[1], &byte, 1);
        thread_.join();
    }
    for (int* fd : {&tty_, &socket_, &wake_[0], &wake_[1]}) {
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    }
}

void PtyBridge::Loop()
{
    for (;;) {
        pollfd fds[3] = {{wake_[0], POLLIN, 0}, {tty_, POLLIN, 0}, {socket_, POLLIN, 0}};
        if (poll(fds, 3, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[0].revents != 0 || (fds[1].revents != 0 && !Copy(tty_, socket_)) ||
            (fds[2].revents != 0 && !Copy(socket_, tty_))) {
            return;
        }
    }
}
