#include "endpoint/VpnClientRecord.h"

#include "app/PrivateFile.h"
#include "platform/ProcessLauncher.h"

#include <cerrno>
#include <climits>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Reads a decimal number of at most 20 digits at `text[at]` up to `end`; false when
// there is none or it overflows.
bool ReadNumber(const std::string& text, size_t& at, char end, uint64_t& value)
{
    const size_t start = at;
    value = 0;
    // Written in decimal without leading zeros: "0717" is not a number of the record.
    if (at + 1 < text.size() && text[at] == '0' && text[at + 1] >= '0' && text[at + 1] <= '9') {
        return false;
    }
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        const uint64_t digit = static_cast<uint64_t>(text[at] - '0');
        if (value > (UINT64_MAX - digit) / 10) {
            return false;
        }
        value = value * 10 + digit;
        ++at;
    }
    if (at == start || at - start > 20 || at >= text.size() || text[at] != end) {
        return false;
    }
    ++at;
    return true;
}

bool IsPid(uint64_t value)
{
    return value >= 1 && value <= static_cast<uint64_t>(INT_MAX);
}

} // namespace

std::optional<VpnClientRecord> VpnClientRecord::OfOwnClient(int64_t pid)
{
    VpnClientRecord record;
    record.pid = pid;
    record.startTime = platform::ProcessLauncher::StartTime(pid);
    record.ownerPid = static_cast<int64_t>(getpid());
    record.ownerStartTime = platform::ProcessLauncher::StartTime(record.ownerPid);
    if (record.startTime == 0 || record.ownerStartTime == 0) {
        return std::nullopt;
    }
    return record;
}

std::string VpnClientRecord::Text() const
{
    return std::to_string(pid) + " " + std::to_string(startTime) + " " + std::to_string(ownerPid) + " " +
           std::to_string(ownerStartTime) + "\n";
}

std::optional<VpnClientRecord> VpnClientRecord::Parse(const std::string& text)
{
    if (text.size() > kMaxFileBytes) {
        return std::nullopt;
    }
    uint64_t numbers[4] = {};
    size_t at = 0;
    for (int i = 0; i < 4; ++i) {
        if (!ReadNumber(text, at, i < 3 ? ' ' : '\n', numbers[i])) {
            return std::nullopt;
        }
    }
    if (at != text.size() || !IsPid(numbers[0]) || numbers[1] == 0 || !IsPid(numbers[2]) || numbers[3] == 0) {
        return std::nullopt;
    }
    VpnClientRecord record;
    record.pid = static_cast<int64_t>(numbers[0]);
    record.startTime = numbers[1];
    record.ownerPid = static_cast<int64_t>(numbers[2]);
    record.ownerStartTime = numbers[3];
    return record;
}

std::optional<VpnClientRecord> VpnClientRecord::Load(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat info;
    std::string text;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        // One byte more than a record may hold tells a longer file apart.
        char buffer[kMaxFileBytes + 1];
        size_t got = 0;
        while (got < sizeof buffer) {
            const ssize_t n = read(fd, buffer + got, sizeof buffer - got);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            got += static_cast<size_t>(n);
        }
        text.assign(buffer, got);
    }
    close(fd);
    return Parse(text);
}

bool VpnClientRecord::Save(const std::string& path) const
{
    return PrivateFile::Replace(path, Text());
}

bool VpnClientRecord::OwnedByAnotherRunningProgram() const
{
    return ownerPid != static_cast<int64_t>(getpid()) &&
           platform::ProcessLauncher::StartTime(ownerPid) == ownerStartTime;
}

bool VpnClientRecord::operator==(const VpnClientRecord& other) const
{
    return pid == other.pid && startTime == other.startTime && ownerPid == other.ownerPid &&
           ownerStartTime == other.ownerStartTime;
}
