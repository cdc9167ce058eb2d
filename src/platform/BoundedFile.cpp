#include "platform/BoundedFile.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr size_t kChunk = 16 * 1024;

std::string TooLargeText(size_t limit)
{
    return "more than " + std::to_string(limit) + " bytes";
}

} // namespace

BoundedFile::Result BoundedFile::Read(const QString& path, size_t limit, QByteArray* bytes,
                                      std::string* error)
{
    bytes->clear();
    error->clear();
    const QByteArray native = QFile::encodeName(path);
    int fd;
    do {
        // Not blocking while it opens, so a pipe without a writer cannot hold the
        // open up; anything but a regular file is then read as usual (waiting for
        // its bytes), within the limit.
        fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int code = errno;
        *error = std::strerror(code);
        return code == ENOENT ? Result::Missing : Result::Failed;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    const Result result = ReadFrom(fd, limit, bytes, error);
    ::close(fd);
    return result;
}

BoundedFile::Result BoundedFile::ReadFrom(int fd, size_t limit, QByteArray* bytes, std::string* error)
{
    bytes->clear();
    error->clear();
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0) {
        *error = std::strerror(errno);
        return Result::Failed;
    }
    if (S_ISDIR(info.st_mode)) {
        *error = "is a folder";
        return Result::Failed;
    }
    const bool regular = S_ISREG(info.st_mode);
    if (regular && static_cast<unsigned long long>(info.st_size) > limit) {
        *error = TooLargeText(limit);
        return Result::TooLarge;
    }
    // A regular file's size is known (it may still grow while it is read); other
    // files are taken a chunk at a time. Either way at most limit + 1 bytes are kept.
    const size_t cap = limit < static_cast<size_t>(-1) ? limit + 1 : limit;
    if (regular)
        bytes->reserve(static_cast<qsizetype>(std::min(cap, static_cast<size_t>(info.st_size) + 1)));
    Result result = Result::Read;
    char chunk[kChunk];
    while (static_cast<size_t>(bytes->size()) < cap) {
        const size_t want = std::min(kChunk, cap - static_cast<size_t>(bytes->size()));
        const ssize_t got = ::read(fd, chunk, want);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            *error = std::strerror(errno);
            result = Result::Failed;
            break;
        }
        if (got == 0)
            break;
        bytes->append(chunk, static_cast<qsizetype>(got));
    }
    if (result == Result::Read && static_cast<size_t>(bytes->size()) > limit) {
        *error = TooLargeText(limit);
        result = Result::TooLarge;
    }
    if (result != Result::Read) {
        bytes->clear();
        bytes->squeeze();
    }
    return result;
}

} // namespace platform
