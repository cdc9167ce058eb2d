#include "app/TraceLog.h"

#include "app/PrivateFile.h"

#include <QFile>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <unistd.h>

void TraceLog::Write(const unsigned char* data, uint32_t length, const char* label, int hex)
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
        constexpr char digits[] = "0123456789ABCDEF";
        for (uint32_t i = 0; i < length; ++i) {
            const char group[4] = {'[', digits[data[i] >> 4], digits[data[i] & 0x0F], ']'};
            entry.append(group, 4);
        }
    } else if (length > 0) {
        entry.append(reinterpret_cast<const char*>(data), length);
    }
    entry += "\r\n";

    const QByteArray path = QFile::encodeName(path_);

    // One lock from opening to closing the file: entries of different threads never
    // interleave. O_APPEND keeps every write at the end and never truncates the file.
    // The log holds tunnel traffic, so it is the owner's alone (created 0600,
    // tightened when found wider); a log that cannot be kept private is not written.
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const int fd = PrivateFile::OpenForWriting(path.toStdString(), true);
    if (fd < 0)
        return; // the data path goes on without its trace entry
    PrivateFile::WriteAll(fd, entry.data(), entry.size());
    ::close(fd);
}
