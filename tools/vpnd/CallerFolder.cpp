#include "CallerFolder.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A folder owned by `uid` that is not the file system's root, resolved.
std::optional<std::string> OwnedFolder(const std::string& path, uid_t uid)
{
    char resolved[PATH_MAX];
    struct stat info;
    if (path.empty() || realpath(path.c_str(), resolved) == nullptr || std::string(resolved) == "/" ||
        stat(resolved, &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != uid) {
        return std::nullopt;
    }
    return std::string(resolved);
}

// Closes a descriptor when it goes.
class Fd
{
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd()
    {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

} // namespace

CallerFolder::CallerFolder(uid_t uid) : uid_(uid)
{
    struct passwd entry;
    struct passwd* found = nullptr;
    std::string buffer(16384, '\0');
    if (getpwuid_r(uid, &entry, &buffer[0], buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr) {
        if (std::optional<std::string> home = OwnedFolder(found->pw_dir, uid)) {
            roots_.push_back(*home);
        }
    }
    if (std::optional<std::string> runtime = OwnedFolder("/run/user/" + std::to_string(uid), uid)) {
        roots_.push_back(*runtime);
    }
}

std::string CallerFolder::Normalized(const std::string& path, const std::string& base)
{
    const std::string joined = !path.empty() && path[0] == '/' ? path : base + "/" + path;
    std::vector<std::string> parts;
    size_t at = 0;
    while (at <= joined.size()) {
        size_t next = joined.find('/', at);
        if (next == std::string::npos) {
            next = joined.size();
        }
        const std::string part = joined.substr(at, next - at);
        at = next + 1;
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
            continue;
        }
        parts.push_back(part);
    }
    std::string result;
    for (const std::string& part : parts) {
        result += "/" + part;
    }
    return result.empty() ? "/" : result;
}

bool CallerFolder::Inside(const std::string& absolute) const
{
    for (const std::string& root : roots_) {
        if (absolute.size() > root.size() + 1 && absolute.compare(0, root.size(), root) == 0 &&
            absolute[root.size()] == '/') {
            return true;
        }
    }
    return false;
}

bool CallerFolder::HoldsOutput(const std::string& path, const std::string& base) const
{
    return Inside(Normalized(path, base));
}

std::optional<std::string> CallerFolder::Read(const std::string& path, const std::string& base,
                                              size_t maxBytes, std::string& error) const
{
    const std::string named = Normalized(path, base);
    error = named + ": ";
    // Nothing outside the caller's folders is even looked at, so that an answer never
    // tells what exists where the caller may not look; a name that leads out through a
    // link is answered as a missing one.
    if (!Inside(named)) {
        error += "lies outside your folders";
        return std::nullopt;
    }
    char resolved[PATH_MAX];
    if (realpath(named.c_str(), resolved) == nullptr || !Inside(resolved)) {
        error += "no such file in your folders";
        return std::nullopt;
    }
    struct stat info;
    if (lstat(named.c_str(), &info) != 0 || S_ISLNK(info.st_mode)) {
        error += "is a link";
        return std::nullopt;
    }
    const std::string real(resolved);
    const size_t slash = real.rfind('/');
    const Fd folder(open(real.substr(0, slash == 0 ? 1 : slash).c_str(),
                         O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat folderInfo;
    if (folder.get() < 0 || fstat(folder.get(), &folderInfo) != 0 || folderInfo.st_uid != uid_) {
        error += "its folder is not yours";
        return std::nullopt;
    }
    const Fd file(openat(folder.get(), real.substr(slash + 1).c_str(),
                         O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0 || fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        error += "is not a regular file";
        return std::nullopt;
    }
    if (info.st_uid != uid_) {
        error += "is not yours";
        return std::nullopt;
    }
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        error += "others may change it";
        return std::nullopt;
    }
    std::string content;
    char chunk[4096];
    for (;;) {
        const ssize_t n = read(file.get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            error += "cannot be read";
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        content.append(chunk, static_cast<size_t>(n));
        if (content.size() > maxBytes) {
            error += "larger than " + std::to_string(maxBytes) + " bytes";
            return std::nullopt;
        }
    }
    error.clear();
    return content;
}
