#include "VcomFolder.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// "prefix<digits>" with no leading zero (so "pair01" is not pair 1); -1 otherwise.
int NumberAfter(const std::string& name, const std::string& prefix)
{
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0)
        return -1;
    const std::string digits = name.substr(prefix.size());
    if (digits.size() > 4 || (digits.size() > 1 && digits[0] == '0'))
        return -1;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return -1;
    }
    return std::atoi(digits.c_str());
}

std::string ReadLinkText(const std::string& path)
{
    char buf[4096];
    const ssize_t n = readlink(path.c_str(), buf, sizeof buf - 1);
    if (n < 0)
        return std::string();
    return std::string(buf, static_cast<size_t>(n));
}

bool ReadAll(int fd, std::string* text)
{
    char buf[1024];
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        text->append(buf, static_cast<size_t>(n));
        if (text->size() > 64 * 1024)
            return false;
    }
}

void RemoveLinkIfPointsTo(const std::string& link, const std::string& target)
{
    if (!target.empty() && ReadLinkText(link) == target)
        unlink(link.c_str());
}

bool MakeDirs(const std::string& path, std::string* error)
{
    std::string sofar;
    size_t pos = 0;
    while (pos <= path.size()) {
        const size_t slash = path.find('/', pos);
        const size_t end = slash == std::string::npos ? path.size() : slash;
        sofar = path.substr(0, end);
        pos = end + 1;
        if (sofar.empty())
            continue;
        if (mkdir(sofar.c_str(), 0700) != 0 && errno != EEXIST) {
            *error = "cannot create " + sofar + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

} // namespace

std::string VcomFolder::DefaultPath()
{
    std::string path;
    const char* own = std::getenv("LUMETRA_VCOM_DIR");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (own && *own)
        path = own;
    else if (runtime && *runtime)
        path = std::string(runtime) + "/lumetra-vcom";
    else
        path = "/tmp/lumetra-vcom-" + std::to_string(getuid());
    // Absolute, because the holder leaves the caller's working folder.
    if (path[0] != '/') {
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd))
            path = std::string(cwd) + "/" + path;
    }
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

bool VcomFolder::Prepare(std::string* error) const
{
    if (path_.empty()) {
        *error = "the virtual COM folder name is empty";
        return false;
    }
    if (!MakeDirs(path_, error))
        return false;
    struct stat st;
    if (stat(path_.c_str(), &st) != 0) {
        *error = "cannot use " + path_ + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        *error = path_ + " is not a folder";
        return false;
    }
    // Under /tmp anyone could have made the folder first: only our own will do.
    if (st.st_uid != geteuid()) {
        *error = path_ + " belongs to another user";
        return false;
    }
    // Nobody else may swap the links of our ports: a folder found open to others
    // (made by hand, say) is closed to them, through a descriptor of the folder
    // itself so that a link in its place is never followed.
    if ((st.st_mode & 077) != 0) {
        const int fd = open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
            fchmod(fd, 0700);
            close(fd);
        }
    }
    if (access(path_.c_str(), W_OK | X_OK) != 0) {
        *error = "cannot write to " + path_ + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

std::vector<int> VcomFolder::StateNumbers() const
{
    std::vector<int> numbers;
    DIR* dir = opendir(path_.c_str());
    if (!dir)
        return numbers;
    while (const dirent* entry = readdir(dir)) {
        const int n = NumberAfter(entry->d_name, "pair");
        if (n >= 0)
            numbers.push_back(n);
    }
    closedir(dir);
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

std::vector<int> VcomFolder::LinkNumbers() const
{
    std::vector<int> numbers;
    DIR* dir = opendir(path_.c_str());
    if (!dir)
        return numbers;
    while (const dirent* entry = readdir(dir)) {
        const int n = NumberAfter(entry->d_name, "COM");
        if (n >= 0)
            numbers.push_back(n);
    }
    closedir(dir);
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

bool VcomFolder::ReadPair(int number, PairRecord* record, bool* alive) const
{
    const std::string path = StatePath(number);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    std::string text;
    const bool read = ReadAll(fd, &text);
    // The holder keeps an exclusive lock for its whole life; getting a shared one
    // means it is gone.
    bool locked = false;
    if (flock(fd, LOCK_SH | LOCK_NB) == 0)
        flock(fd, LOCK_UN);
    else
        locked = errno == EWOULDBLOCK;
    close(fd);
    *alive = locked;
    PairRecord parsed;
    parsed.number = number;
    if (read && parsed.Parse(text)) {
        *record = parsed;
    } else {
        // Unreadable: keep the number so it is not handed out while alive.
        *record = PairRecord();
        record->number = number;
    }
    return true;
}

void VcomFolder::RemovePairFiles(const PairRecord& record) const
{
    if (record.comA > 0)
        RemoveLinkIfPointsTo(LinkPath(record.comA), record.deviceA);
    if (record.comB > 0)
        RemoveLinkIfPointsTo(LinkPath(record.comB), record.deviceB);
    unlink(StatePath(record.number).c_str());
}

void VcomFolder::RemoveDeadPairs() const
{
    std::set<int> claimed;
    for (int n : StateNumbers()) {
        PairRecord record;
        bool alive = false;
        if (!ReadPair(n, &record, &alive))
            continue;
        if (alive) {
            claimed.insert(record.comA);
            claimed.insert(record.comB);
        } else {
            RemovePairFiles(record);
        }
    }
    for (int com : LinkNumbers()) {
        if (claimed.count(com))
            continue;
        const std::string link = LinkPath(com);
        // Only our own kind of link: a user's file of that name stays (and keeps
        // its number taken).
        if (ReadLinkText(link).rfind("/dev/pts/", 0) == 0)
            unlink(link.c_str());
    }
}

std::vector<PairRecord> VcomFolder::LivePairs() const
{
    std::vector<PairRecord> pairs;
    for (int n : StateNumbers()) {
        PairRecord record;
        bool alive = false;
        if (ReadPair(n, &record, &alive) && alive && record.pid > 0)
            pairs.push_back(record);
    }
    return pairs;
}

int VcomFolder::LowestFreePair() const
{
    const std::vector<int> taken = StateNumbers();
    for (int n = 0; n <= kMaxPair; ++n) {
        if (!std::binary_search(taken.begin(), taken.end(), n))
            return n;
    }
    return -1;
}

bool VcomFolder::ComInUse(int com) const
{
    struct stat st;
    if (lstat(LinkPath(com).c_str(), &st) == 0)
        return true;
    for (const PairRecord& pair : LivePairs()) {
        if (pair.comA == com || pair.comB == com)
            return true;
    }
    return false;
}

int VcomFolder::LowestFreeCom(int except) const
{
    for (int com = 1; com <= kMaxCom; ++com) {
        if (com != except && !ComInUse(com))
            return com;
    }
    return -1;
}
