#include "PtyBridge.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr size_t kReadChunk = 64 * 1024;
constexpr int kRetryMs = 50;

void CloseFd(int* fd)
{
    if (*fd >= 0) {
        close(*fd);
        *fd = -1;
    }
}

} // namespace

PtyBridge::~PtyBridge()
{
    for (End& end : ends_) {
        CloseFd(&end.held);
        CloseFd(&end.master);
    }
}

bool PtyBridge::HoldSlave(End* end)
{
    const int fd = open(end->device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    // Raw from the start: a program that never sets the line up (cat, echo) must
    // not have its bytes echoed back into the pair or its line ends rewritten.
    termios tio;
    if (tcgetattr(fd, &tio) == 0) {
        cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        tio.c_cc[VMIN] = 1;
        tio.c_cc[VTIME] = 0;
        tcsetattr(fd, TCSANOW, &tio);
    }
    // The new descriptor is open before the old one closes, so the slave is never
    // without an opener and the master never sees a hang-up.
    CloseFd(&end->held);
    end->held = fd;
    return true;
}

bool PtyBridge::OpenEnd(End* end, std::string* error)
{
    end->master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (end->master < 0) {
        *error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    char name[128];
    if (grantpt(end->master) != 0 || unlockpt(end->master) != 0 ||
        ptsname_r(end->master, name, sizeof name) != 0) {
        *error = std::string("cannot unlock a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    end->device = name;
    const int flags = fcntl(end->master, F_GETFL);
    if (flags < 0 || fcntl(end->master, F_SETFL, flags | O_NONBLOCK) != 0) {
        *error = std::string("cannot configure a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    if (!HoldSlave(end)) {
        *error = "cannot open " + end->device + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool PtyBridge::Open(std::string* error)
{
    return OpenEnd(&ends_[0], error) && OpenEnd(&ends_[1], error);
}

void PtyBridge::RenewHeld(End* end)
{
    // A hang-up of the slave (TIOCVHANGUP, vhangup()) kills our descriptor too and
    // puts the line back to its default settings, echo included. A fresh
    // descriptor brings back raw mode before any more bytes are passed to it.
    if (!HoldSlave(end))
        TakeDown(end);
}

void PtyBridge::TakeDown(End* end)
{
    // The master itself reports a hang-up: nobody, not even we, holds the slave.
    // It is left out of the copying and the slave reopened after a short pause.
    CloseFd(&end->held);
    end->down = true;
    end->retryAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRetryMs);
}

void PtyBridge::TryBringUp(End* end)
{
    if (std::chrono::steady_clock::now() < end->retryAt)
        return;
    if (HoldSlave(end))
        end->down = false;
    else
        end->retryAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRetryMs);
}

bool PtyBridge::ReadFrom(int from, std::string* error)
{
    End& src = ends_[from];
    End& dst = ends_[1 - from];
    char buf[kReadChunk];
    const ssize_t n = read(src.master, buf, sizeof buf);
    if (n > 0) {
        if (dst.sent > 0 && dst.sent == dst.toMaster.size()) {
            dst.toMaster.clear();
            dst.sent = 0;
        }
        dst.toMaster.append(buf, static_cast<size_t>(n));
        return true;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return true;
    if (n == 0 || errno == EIO) {
        TakeDown(&src);
        return true;
    }
    *error = "read from " + src.device + ": " + std::strerror(errno);
    return false;
}

bool PtyBridge::WriteTo(End* end, std::string* error)
{
    const ssize_t n = write(end->master, end->toMaster.data() + end->sent, Waiting(*end));
    if (n > 0) {
        end->sent += static_cast<size_t>(n);
        // Drop the written front once it is large, so the queue does not grow
        // without bound under a steady stream.
        if (end->sent == end->toMaster.size()) {
            end->toMaster.clear();
            end->sent = 0;
        } else if (end->sent >= kReadChunk) {
            end->toMaster.erase(0, end->sent);
            end->sent = 0;
        }
        return true;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return true;
    if (n < 0 && errno == EIO) {
        TakeDown(end);
        return true;
    }
    *error = "write to " + end->device + ": " + std::strerror(errno);
    return false;
}

bool PtyBridge::Run(int stopFd, std::string* error)
{
    for (;;) {
        // 0: stop signal; 1, 2: the masters; 3, 4: our own slave descriptors, asked
        // for nothing, so they report only a hang-up.
        pollfd fds[5];
        fds[0] = {stopFd, POLLIN, 0};
        int timeoutMs = -1;
        for (int i = 0; i < 2; ++i) {
            End& end = ends_[i];
            if (end.down)
                TryBringUp(&end);
            short events = 0;
            if (!end.down) {
                if (Waiting(ends_[1 - i]) < kPendingLimit)
                    events |= POLLIN;
                if (Waiting(end) > 0)
                    events |= POLLOUT;
            } else {
                timeoutMs = kRetryMs;
            }
            // A negative descriptor is skipped by poll(); a hung-up master is left
            // out so its standing POLLHUP does not spin the loop.
            fds[1 + i] = {end.down ? -1 : end.master, events, 0};
            fds[3 + i] = {end.held, 0, 0};
        }
        const int ready = poll(fds, 5, timeoutMs);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            *error = std::string("poll: ") + std::strerror(errno);
            return false;
        }
        if (fds[0].revents)
            return true;
        // Hang-ups first: bytes read in this round must not reach a line that is
        // back to echoing.
        for (int i = 0; i < 2; ++i) {
            if (fds[3 + i].revents && !ends_[i].down)
                RenewHeld(&ends_[i]);
        }
        for (int i = 0; i < 2; ++i) {
            const short revents = fds[1 + i].revents;
            if (revents == 0 || ends_[i].down)
                continue;
            if (revents & POLLNVAL) {
                *error = "lost " + ends_[i].device;
                return false;
            }
            // Read before acting on a hang-up, so the last bytes a program wrote
            // before it went are still passed on.
            if ((revents & POLLIN) || ((revents & (POLLHUP | POLLERR)) && (fds[1 + i].events & POLLIN))) {
                if (!ReadFrom(i, error))
                    return false;
            } else if (revents & (POLLHUP | POLLERR)) {
                TakeDown(&ends_[i]);
            }
            if (!ends_[i].down && (revents & POLLOUT) && Waiting(ends_[i]) > 0) {
                if (!WriteTo(&ends_[i], error))
                    return false;
            }
        }
    }
}
