#include "app/PrivateFile.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t kFileMode = 0600;
constexpr mode_t kFolderMode = 0700;
constexpr mode_t kGroupAndOthers = 077;

// Closes `fd` keeping the errno of the failure that made the caller give up.
int CloseFailed(int fd, int error)
{
    ::close(fd);
    errno = error;
    return -1;
}

// Opens `path` with `flags` (O_NOFOLLOW among them), retrying interruptions, and
// reads its status: the descriptor of a regular file, or -1 with errno set (EINVAL
// for anything that is not a regular file).
int OpenRegular(const std::string& path, int flags, struct stat* st)
{
    int fd;
    do {
        fd = ::open(path.c_str(), flags, kFileMode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return -1;
    if (::fstat(fd, st) != 0)
        return CloseFailed(fd, errno);
    if (!S_ISREG(st->st_mode))
        return CloseFailed(fd, EINVAL);
    return fd;
}

// The folder part of `path` ("." when there is none).
std::string FolderOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

int PrivateFile::OpenForWriting(const std::string& path, bool append)
{
    // No O_TRUNC here: a file that is then refused must keep its bytes.
    const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | (append ? O_APPEND : 0);
    struct stat st;
    const int fd = OpenRegular(path, flags, &st);
    if (fd < 0)
        return -1;
    if (st.st_nlink != 1)
        return CloseFailed(fd, EMLINK);
    // Through the descriptor, never by name: the name may meanwhile stand for another file.
    if ((st.st_mode & kGroupAndOthers) != 0 && ::fchmod(fd, kFileMode) != 0)
        return CloseFailed(fd, errno);
    if (!append && st.st_size != 0 && ::ftruncate(fd, 0) != 0)
        return CloseFailed(fd, errno);
    return fd;
}

int PrivateFile::OpenForReading(const std::string& path)
{
    // Not blocking, so a pipe in the file's place cannot hold the open up; it is
    // refused like any file that is not regular.
    struct stat st;
    const int fd = OpenRegular(path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, &st);
    if (fd < 0)
        return -1;
    // A file left readable by an earlier version is closed to others at the first
    // read; another user's file is only read.
    if ((st.st_mode & kGroupAndOthers) != 0 && st.st_uid == ::geteuid())
        ::fchmod(fd, kFileMode);
    return fd;
}

int PrivateFile::OpenOwnersForReading(const std::string& path)
{
    struct stat st;
    const int fd = OpenRegular(path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, &st);
    if (fd < 0)
        return -1;
    // Checked on the open file, so the file read is the file checked.
    if ((st.st_mode & kGroupAndOthers) != 0)
        return CloseFailed(fd, EACCES);
    return fd;
}

bool PrivateFile::IsOpenToOthers(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & kGroupAndOthers) != 0;
}

bool PrivateFile::Replace(const std::string& path, const std::string& bytes)
{
    const std::string folder = FolderOf(path);
    const size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string pattern = (folder == "/" ? std::string() : folder) + "/." + name + ".XXXXXX";
    // mkostemp creates the file 0600 and exclusively, so nobody else can have it open.
    const int fd = ::mkostemp(&pattern[0], O_CLOEXEC);
    if (fd < 0)
        return false;
    bool written = WriteAll(fd, bytes.data(), bytes.size());
    // On disk before it takes the old file's place, so a crash leaves old or new.
    if (written)
        ::fsync(fd);
    written = ::close(fd) == 0 && written;
    if (written && ::rename(pattern.c_str(), path.c_str()) == 0)
        return true;
    ::unlink(pattern.c_str());
    return false;
}

bool PrivateFile::MakeFolder(const std::string& path)
{
    std::string folder = path;
    // A trailing separator would make the open below follow a link in the folder's place.
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    if (::mkdir(folder.c_str(), kFolderMode) != 0 && errno == ENOENT) {
        QDir().mkpath(QFile::decodeName(QByteArray::fromStdString(FolderOf(folder))));
        ::mkdir(folder.c_str(), kFolderMode);
    }
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        struct stat st;
        if (::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() && (st.st_mode & kGroupAndOthers) != 0)
            ::fchmod(fd, kFolderMode);
        ::close(fd);
    }
    struct stat st;
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PrivateFile::WriteAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}
