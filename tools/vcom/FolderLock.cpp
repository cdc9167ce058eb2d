#include "FolderLock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

FolderLock::~FolderLock()
{
    Release();
}

bool FolderLock::Acquire(const std::string& lockPath, std::string* error)
{
    Release();
    const int fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        *error = "cannot open " + lockPath + ": " + std::strerror(errno);
        return false;
    }
    while (flock(fd, LOCK_EX) != 0) {
        if (errno == EINTR)
            continue;
        *error = "cannot lock " + lockPath + ": " + std::strerror(errno);
        close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void FolderLock::Release()
{
    if (fd_ >= 0) {
        close(fd_); // closing the only descriptor releases the lock
        fd_ = -1;
    }
}
