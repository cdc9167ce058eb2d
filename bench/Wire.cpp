#include "Wire.h"

#include "Latencies.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string Reason(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

// Waits until `fd` is ready for `events`; false at the time-out or on an error.
bool WaitFor(int fd, short events, Clock::time_point deadline, std::string* error)
{
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            *error = "no progress in time";
            return false;
        }
        pollfd pfd = {fd, events, 0};
        const int ready = poll(&pfd, 1, static_cast<int>(left));
        if (ready > 0) {
            return true;
        }
        if (ready < 0 && errno != EINTR) {
            *error = Reason("poll");
            return false;
        }
    }
}

char PatternByte(size_t index, int round)
{
    return static_cast<char>((index * 7 + static_cast<size_t>(round) * 13) & 0xff);
}

} // namespace

namespace Wire {

int OpenRawTty(const std::string& path, std::string* error)
{
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = Reason("open " + path);
        return -1;
    }
    termios tio = {};
    if (tcgetattr(fd, &tio) != 0) {
        *error = Reason("tcgetattr " + path);
        close(fd);
        return -1;
    }
    cfmakeraw(&tio);
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        *error = Reason("tcsetattr " + path);
        close(fd);
        return -1;
    }
    tcflush(fd, TCIOFLUSH);
    return fd;
}

void TuneSocket(int fd)
{
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

int ConnectLoopback(int port, std::string* error)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = Reason("socket");
        return -1;
    }
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        *error = Reason("connect 127.0.0.1:" + std::to_string(port));
        close(fd);
        return -1;
    }
    TuneSocket(fd);
    return fd;
}

bool WriteAll(int fd, const char* data, size_t length, int timeoutMs, std::string* error)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t done = 0;
    while (done < length) {
        const ssize_t n = write(fd, data + done, length - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            *error = Reason("write");
            return false;
        } else if (!WaitFor(fd, POLLOUT, deadline, error)) {
            return false;
        }
    }
    return true;
}

bool ReadExactly(int fd, char* data, size_t length, int timeoutMs, std::string* error)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t done = 0;
    while (done < length) {
        const ssize_t n = read(fd, data + done, length - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n == 0 && isatty(fd) == 0) {
            *error = "the peer closed the connection";
            return false;
        } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            *error = Reason("read");
            return false;
        } else if (!WaitFor(fd, POLLIN, deadline, error)) {
            *error += " (" + std::to_string(done) + " of " + std::to_string(length) + " bytes back)";
            return false;
        }
    }
    return true;
}

bool RoundTrips(int fd, int count, size_t size, int round, Latencies* times, std::string* error)
{
    std::vector<char> request(size);
    std::vector<char> answer(size);
    for (int i = 0; i < count; ++i) {
        for (size_t k = 0; k < size; ++k) {
            request[k] = PatternByte(k, round * count + i);
        }
        const Clock::time_point start = Clock::now();
        if (!WriteAll(fd, request.data(), size, 5000, error) ||
            !ReadExactly(fd, answer.data(), size, 5000, error)) {
            return false;
        }
        const Clock::time_point end = Clock::now();
        if (answer != request) {
            *error = "an answer differs from its request";
            return false;
        }
        if (times != nullptr) {
            times->Add(std::chrono::duration<double, std::milli>(end - start).count());
        }
    }
    return true;
}

double EchoThroughput(int fd, size_t bytes, std::string* error)
{
    constexpr size_t kChunk = 64 * 1024;
    std::string writeError;
    bool written = false;
    const Clock::time_point start = Clock::now();
    std::thread writer([&] {
        std::vector<char> chunk(kChunk);
        for (size_t offset = 0; offset < bytes; offset += kChunk) {
            const size_t length = std::min(kChunk, bytes - offset);
            for (size_t k = 0; k < length; ++k) {
                chunk[k] = PatternByte(offset + k, 0);
            }
            if (!WriteAll(fd, chunk.data(), length, 10000, &writeError)) {
                return;
            }
        }
        written = true;
    });
    std::vector<char> chunk(kChunk);
    size_t received = 0;
    bool intact = true;
    bool complete = true;
    while (received < bytes && complete) {
        const size_t length = std::min(kChunk, bytes - received);
        complete = ReadExactly(fd, chunk.data(), length, 10000, error);
        for (size_t k = 0; complete && intact && k < length; ++k) {
            intact = chunk[k] == PatternByte(received + k, 0);
        }
        received += complete ? length : 0;
    }
    const Clock::time_point end = Clock::now();
    writer.join();
    if (!written) {
        *error = "sending failed: " + writeError;
        return -1;
    }
    if (!complete) {
        *error = "after " + std::to_string(received) + " bytes: " + *error;
        return -1;
    }
    if (!intact) {
        *error = "the echoed bytes differ from those sent";
        return -1;
    }
    const double seconds = std::chrono::duration<double>(end - start).count();
    return static_cast<double>(bytes) / (1024.0 * 1024.0) / seconds;
}

} // namespace Wire
