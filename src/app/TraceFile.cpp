#include "app/TraceFile.h"

#include "app/PrivateFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Entries gather up to this many bytes before one write.
constexpr size_t kWriteBytes = 256 * 1024;

} // namespace

void TraceFile::Begin()
{
    tried_ = false;
    if (fd_ < 0)
        return;
    // The open file must still be the one the name stands for, with that one name; a
    // file found open to others is made the owner's alone again, through the
    // descriptor. Anything else closes it, and the next entry opens the name afresh
    // under the private-file rules (which refuse a link or a second name).
    struct stat open;
    struct stat named;
    const bool same = ::fstat(fd_, &open) == 0 && ::lstat(path_.c_str(), &named) == 0 &&
                      open.st_dev == named.st_dev && open.st_ino == named.st_ino && open.st_nlink == 1;
    if (!same || ((open.st_mode & 077) != 0 && ::fchmod(fd_, 0600) != 0)) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    // Someone else may have cut the file down; its size decides when to start anew.
    size_ = static_cast<uint64_t>(open.st_size);
}

void TraceFile::Append(const char* entry, size_t size, uint64_t limit)
{
    if (fd_ < 0) {
        // One attempt per batch: a folder that refuses the file costs one open per
        // batch, not one per entry.
        if (tried_ || (tried_ = true, !Open()))
            return;
    }
    const uint64_t held = size_ + out_.size();
    if (held > 0 && held + size > limit) {
        if (!WriteOut())
            return;
        Rotate();
        if (fd_ < 0)
            return;
    }
    out_.append(entry, size);
    if (out_.size() >= kWriteBytes)
        WriteOut();
}

void TraceFile::End()
{
    if (!out_.empty())
        WriteOut();
}

void TraceFile::Close()
{
    End();
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool TraceFile::Open()
{
    fd_ = PrivateFile::OpenForWriting(path_, true);
    struct stat st;
    if (fd_ >= 0 && ::fstat(fd_, &st) == 0) {
        size_ = static_cast<uint64_t>(st.st_size);
        return true;
    }
    const int error = errno;
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    Fail(error);
    return false;
}

bool TraceFile::WriteOut()
{
    if (fd_ < 0) {
        out_.clear();
        return false;
    }
    if (PrivateFile::WriteAll(fd_, out_.data(), out_.size())) {
        size_ += out_.size();
        out_.clear();
        failing_ = false;
        return true;
    }
    const int error = errno;
    // A full disk may have taken part of the buffer: cut the file back to its last
    // whole entry, so that nothing after it ever follows half an entry.
    if (::ftruncate(fd_, static_cast<off_t>(size_)) != 0)
        size_ = 0;
    ::close(fd_);
    fd_ = -1;
    tried_ = true; // the rest of the batch is dropped; the next batch tries again
    out_.clear();
    Fail(error);
    return false;
}

void TraceFile::Rotate()
{
    // The open file is ours, regular and with one name (checked at open and at every
    // batch): it takes the place of the old file, whatever stood there (a link there
    // is replaced, not followed). Its descriptor closes only afterwards, so the name
    // it moves to is never opened.
    const std::string old = path_ + ".1";
    if (::rename(path_.c_str(), old.c_str()) == 0) {
        ::close(fd_);
        fd_ = -1;
        Open();
        return;
    }
    // No old file can be kept (a folder in its place): the log starts again empty,
    // so it stays within its limit.
    const int error = errno;
    std::fprintf(stderr, "trace log %s: %s; %s started again empty\n", old.c_str(), std::strerror(error),
                 path_.c_str());
    if (::ftruncate(fd_, 0) == 0) {
        size_ = 0;
        return;
    }
    const int truncateError = errno;
    ::close(fd_);
    fd_ = -1;
    Fail(truncateError);
}

void TraceFile::Fail(int error)
{
    if (failing_)
        return;
    failing_ = true;
    std::fprintf(stderr, "trace log %s: %s; entries dropped from now on\n", path_.c_str(),
                 std::strerror(error));
}
