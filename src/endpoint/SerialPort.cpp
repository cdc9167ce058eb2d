#include "endpoint/SerialPort.h"

#include "platform/ComPortNames.h"
#include "platform/MessageBox.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The termios speed for a baud rate. Rates that termios has no constant for (14400,
// 56000, 128000, 256000) get the nearest standard rate below them; on the virtual
// pairs the rate does not change the data carried.
speed_t SpeedFor(uint32_t baud)
{
    struct Rate
    {
        uint32_t baud;
        speed_t speed;
    };
    static const Rate kRates[] = {
        {110, B110},       {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},
        {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
        {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
    };
    speed_t speed = B110;
    for (const Rate& rate : kRates) {
        if (rate.baud <= baud)
            speed = rate.speed;
    }
    return speed;
}

tcflag_t SizeFlag(uint8_t byteSize)
{
    switch (byteSize) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

} // namespace

SerialPort::SerialPort() = default;

void SerialPort::ShowBox(void*, const QString& text)
{
    platform::AfxMessageBox(text);
}

SerialPort::~SerialPort()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void SerialPort::SetMessageSink(MessageSink sink, void* context)
{
    sink_ = sink;
    sinkContext_ = context;
}

void SerialPort::Report(const QString& text)
{
    if (sink_ != nullptr)
        sink_(sinkContext_, text);
}

int SerialPort::Open(const SerialLineSettings& settings, const std::string& name)
{
    if (open_)
        return 0;

    const std::string path = platform::ResolveComPortName(name);
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        Report(QStringLiteral("port create failed%1").arg(errno));
        return 0;
    }

    termios tio;
    if (tcgetattr(fd, &tio) != 0) {
        const int error = errno;
        ::close(fd);
        Report(QStringLiteral("Get configuration port has problem.%1").arg(error));
        return 0;
    }
    // No other program may open the port while we hold it.
    ioctl(fd, TIOCEXCL);

    cfmakeraw(&tio);
    cfsetispeed(&tio, SpeedFor(settings.baudRate));
    cfsetospeed(&tio, SpeedFor(settings.baudRate));
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB);
    tio.c_cflag |= SizeFlag(settings.byteSize) | CLOCAL | CREAD;
    if (settings.parity == 1)
        tio.c_cflag |= PARENB | PARODD;
    else if (settings.parity == 2)
        tio.c_cflag |= PARENB;
    if (settings.stopBits != 0)
        tio.c_cflag |= CSTOPB;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        ::close(fd);
        Report(QStringLiteral("Set configuration port has problem."));
        return 0;
    }

    fd_ = fd;
    settings_ = settings;
    open_ = 1;
    return 1;
}

int SerialPort::Read(char* buffer, int requested, int* read)
{
    if (read != nullptr)
        *read = 0;
    if (!open_ || buffer == nullptr || requested <= 0 || read == nullptr)
        return 0;
    const ssize_t n = ::read(fd_, buffer, static_cast<size_t>(requested));
    if (n >= 0) {
        *read = static_cast<int>(n);
        return 1;
    }
    // Nothing has arrived yet: the read succeeds with no bytes.
    return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? 1 : 0;
}

int SerialPort::Write(const char* data, int requested, int* written)
{
    if (written != nullptr)
        *written = 0;
    if (!open_ || data == nullptr || requested <= 0)
        return 0;

    size_t done = 0;
    const size_t total = static_cast<size_t>(requested);
    while (done < total) {
        const ssize_t n = ::write(fd_, data + done, total - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            break;
        // The port's queue is full: wait for room, but not for ever.
        pollfd pfd = {fd_, POLLOUT, 0};
        int ready;
        do {
            ready = poll(&pfd, 1, kWriteStallMs);
        } while (ready < 0 && errno == EINTR);
        if (ready <= 0 || (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0)
            break;
    }
    if (written != nullptr)
        *written = static_cast<int>(done);
    if (done == total)
        return 1;
    Report(QStringLiteral("Reading of serial communication has problem."));
    return 0;
}

int SerialPort::Close()
{
    if (!open_)
        return 0;
    open_ = 0;
    const int fd = fd_;
    fd_ = -1;
    // Linux releases the descriptor even when close reports an error.
    if (::close(fd) != 0) {
        Report(QStringLiteral("Port Closeing isn't successed."));
        return 0;
    }
    return 1;
}
