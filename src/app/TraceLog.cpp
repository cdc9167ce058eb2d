#include "app/TraceLog.h"

#include "app/ProgramFolder.h"

#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <unistd.h>

namespace {

std::recursive_mutex& TraceLock()
{
    static std::recursive_mutex lock;
    return lock;
}

bool WriteAll(int fd, const char* p, size_t n)
{
    while (n > 0) {
        const ssize_t written = ::write(fd, p, n);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += written;
        n -= static_cast<size_t>(written);
    }
    return true;
}

} // namespace

void TraceLog(const unsigned char* data, uint32_t length, const char* label, int hex)
{
    // Null data carries nothing to show; record it as an empty entry instead of
    // reading through the null pointer.
    if (data == nullptr)
        length = 0;

    std::string entry;
    const size_t labelLength = label ? std::strlen(label) : 0;
    entry.reserve(labelLength + 16 + (hex ? 4u : 1u) * static_cast<size_t>(length) + 2);
    if (labelLength > 0)
        entry.append(label, labelLength);
    entry += '-';
    entry += std::to_string(length);
    entry += '-';
    if (hex) {
        static const char digits[] = "0123456789ABCDEF";
        for (uint32_t i = 0; i < length; ++i) {
            const char group[4] = {'[', digits[data[i] >> 4], digits[data[i] & 0x0F], ']'};
            entry.append(group, 4);
        }
    } else if (length > 0) {
        entry.append(reinterpret_cast<const char*>(data), length);
    }
    entry += "\r\n";

    const QByteArray path = QFile::encodeName(TraceLogPath());

    // One lock from opening to closing the file: entries of different threads never
    // interleave. O_APPEND keeps every write at the end and never truncates the file.
    std::lock_guard<std::recursive_mutex> guard(TraceLock());
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return; // the data path goes on without its trace entry
    WriteAll(fd, entry.data(), entry.size());
    ::close(fd);
}
