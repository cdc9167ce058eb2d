#include "endpoint/SerialWaiter.h"

#include "endpoint/SerialPort.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

SerialWaiter::SerialWaiter() : wakeFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

SerialWaiter::~SerialWaiter()
{
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
}

void SerialWaiter::Wake()
{
    if (wakeFd_ < 0)
        return;
    const uint64_t one = 1;
    // A full counter (never reached) or EINTR still leaves the descriptor readable
    // or is retried; nothing else can fail here.
    while (::write(wakeFd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void SerialWaiter::Watch(const SerialPort& port, bool read, bool write)
{
    events_ = static_cast<short>((read ? POLLIN : 0) | (write ? POLLOUT : 0));
    portFd_ = events_ != 0 && port.IsOpen() ? port.NativeHandle() : -1;
}

SerialWaiter::Ready SerialWaiter::Wait(int timeoutMs)
{
    // A negative descriptor is skipped by poll(): an unwatched port reports nothing,
    // not even the hang-up a pty without its peer reports all the time.
    pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {portFd_, events_, 0}};
    portFd_ = -1;
    events_ = 0;
    if (wakeFd_ < 0)
        timeoutMs = std::min(timeoutMs, 1);
    Ready ready;
    // An interrupted wait simply ends early: the reader makes a pass and waits again.
    if (::poll(fds, 2, std::max(timeoutMs, 0)) <= 0)
        return ready;
    if ((fds[0].revents & POLLIN) != 0) {
        uint64_t count = 0;
        while (::read(wakeFd_, &count, sizeof count) < 0 && errno == EINTR) {
        }
    }
    ready.hangUp = (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    return ready;
}
