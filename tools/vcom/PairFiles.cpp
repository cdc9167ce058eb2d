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
    const std::string path = m_folder.LinkPath(com);
    if (symlink(device.c_str(), path.c_str()) != 0) {
        *error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    m_links.push_back({path, device});
    return true;
}

bool PairFiles::State(int number, const PairRecord& record, std::string* error)
{
    const std::string path = m_folder.StatePath(number);
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        *error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    m_stateFd = fd;
    m_statePath = path;
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
    for (const auto& link : m_links) {
        const ssize_t n = readlink(link.first.c_str(), target, sizeof target - 1);
        if (n >= 0 && std::string(target, static_cast<size_t>(n)) == link.second)
            unlink(link.first.c_str());
    }
    m_links.clear();
    if (m_stateFd >= 0) {
        struct stat mine;
        struct stat named;
        if (fstat(m_stateFd, &mine) == 0 && lstat(m_statePath.c_str(), &named) == 0 &&
            mine.st_ino == named.st_ino && mine.st_dev == named.st_dev)
            unlink(m_statePath.c_str());
        close(m_stateFd);
        m_stateFd = -1;
    }
}
