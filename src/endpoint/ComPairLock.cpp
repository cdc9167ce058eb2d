#include "endpoint/ComPairLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

ComPairLock::~ComPairLock()
{
    if (fd_ >= 0)
        close(fd_); // closing the only descriptor of the open file drops the lock
}

std::unique_ptr<ComPairLock> ComPairLock::TryTake(const std::string& folder, int number)
{
    if (folder.empty() || number < 0)
        return nullptr;
    mkdir(folder.c_str(), 0700); // the pair tool makes it too; either may come first
    const std::string path = folder + "/tunnel" + std::to_string(number) + ".lock";
    // Every open makes its own open file description, so a second tunnel of this
    // process is refused like one of another process.
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return nullptr;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return nullptr;
    }
    return std::unique_ptr<ComPairLock>(new ComPairLock(fd, number));
}
