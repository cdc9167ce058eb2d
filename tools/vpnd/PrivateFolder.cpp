#include "PrivateFolder.h"

#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Makes `path` with `mode` when missing; true when it is then a folder (not a link)
// of the calling user with exactly that mode.
bool OwnFolder(const std::string& path, mode_t mode)
{
    if (mkdir(path.c_str(), mode) != 0 && errno != EEXIST) {
        return false;
    }
    struct stat info;
    if (lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != geteuid()) {
        return false;
    }
    return (info.st_mode & 07777) == mode || chmod(path.c_str(), mode) == 0;
}

// Removes every entry of the folder open at `fd`, and one level of sub-folders.
void Empty(int fd, int depth)
{
    DIR* listing = fdopendir(dup(fd));
    if (listing == nullptr) {
        return;
    }
    while (const struct dirent* entry = readdir(listing)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) {
            continue;
        }
        if (unlinkat(fd, entry->d_name, 0) == 0 || depth > 0) {
            continue;
        }
        const int sub = openat(fd, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub >= 0) {
            Empty(sub, depth + 1);
            close(sub);
            unlinkat(fd, entry->d_name, AT_REMOVEDIR);
        }
    }
    closedir(listing);
}

} // namespace

bool PrivateFolder::MakeEmpty(const std::string& parent, const std::string& folder)
{
    if (!OwnFolder(parent, 0755) || !OwnFolder(folder, 0700)) {
        return false;
    }
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    Empty(fd, 0);
    close(fd);
    return true;
}

bool PrivateFolder::MakeSub(const std::string& folder, const std::string& name)
{
    return OwnFolder(folder + "/" + name, 0700);
}

void PrivateFolder::Remove(const std::string& folder)
{
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    Empty(fd, 0);
    close(fd);
    rmdir(folder.c_str());
}

bool PrivateFolder::Write(const std::string& path, const std::string& text)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            close(fd);
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return close(fd) == 0;
}
