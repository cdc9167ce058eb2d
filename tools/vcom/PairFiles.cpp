#include "PairFiles.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool WriteAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

bool PairFiles::Link(int com, const std::string& device, std::string* error)
{
    const std::string path = folder_.LinkPath(com);
    if (symlink(device.c_str(), path.c_str()) != 0) {
        *error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    links_.push_back({path, device});
    return true;
}

bool PairFiles::State(int number, const PairRecord& record, std::string* error)
{
    const std::string path = folder_.StatePath(number);
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        *error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    stateFd_ = fd;
    statePath_ = path;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        *error = "cannot lock " + path + ": " + std::strerror(errno);
        return false;
    }
    if (!WriteAll(fd, record.Format())) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void PairFiles::Remove()
{
    // Links first: an install running meanwhile still sees the state file and
    // keeps away from our numbers until everything is gone.
    char target[4096];
    for (const auto& link : links_) {
        const ssize_t n = readlink(link.first.c_str(), target, sizeof target - 1);
        if (n >= 0 && std::string(target, static_cast<size_t>(n)) == link.second)
            unlink(link.first.c_str());
    }
    links_.clear();
    if (stateFd_ >= 0) {
        struct stat mine;
        struct stat named;
        if (fstat(stateFd_, &mine) == 0 && lstat(statePath_.c_str(), &named) == 0 &&
            mine.st_ino == named.st_ino && mine.st_dev == named.st_dev)
            unlink(statePath_.c_str());
        close(stateFd_);
        stateFd_ = -1;
    }
}
