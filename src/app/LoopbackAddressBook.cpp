#include "app/LoopbackAddressBook.h"

#include "app/PrivateFile.h"
#include "platform/BoundedFile.h"

#include <QFile>

#include <unistd.h>

#include <utility>
#include <vector>

namespace {

using Entry = std::pair<std::string, std::string>; // address, device serial

std::string HostAddress(int host)
{
    return "127.0.1." + std::to_string(host);
}

// Whether `text` is one of the book's addresses, written as HostAddress writes it.
bool IsBookAddress(const std::string& text)
{
    const std::string prefix = "127.0.1.";
    if (text.compare(0, prefix.size(), prefix) != 0 || text.size() > prefix.size() + 3 ||
        text.size() == prefix.size()) {
        return false;
    }
    int host = 0;
    for (size_t i = prefix.size(); i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        host = host * 10 + (text[i] - '0');
    }
    return host >= LoopbackAddressBook::kFirstHost && host <= LoopbackAddressBook::kLastHost &&
           HostAddress(host) == text;
}

// The valid lines of the file, oldest first; an address or a serial named twice
// keeps its last line.
std::vector<Entry> Load(const QString& path)
{
    std::vector<Entry> entries;
    const int fd = PrivateFile::OpenForReading(QFile::encodeName(path).toStdString());
    if (fd < 0) {
        return entries;
    }
    QByteArray bytes;
    std::string error;
    const platform::BoundedFile::Result read =
        platform::BoundedFile::ReadFrom(fd, LoopbackAddressBook::kMaxBytes, &bytes, &error);
    ::close(fd);
    if (read != platform::BoundedFile::Result::Read) {
        return entries;
    }
    for (const QByteArray& line : bytes.split('\n')) {
        const qsizetype space = line.indexOf(' ');
        if (space <= 0) {
            continue;
        }
        const std::string address = line.left(space).toStdString();
        const std::string serial = line.mid(space + 1).toStdString();
        if (!IsBookAddress(address) || !LoopbackAddressBook::IsRememberableSerial(serial)) {
            continue;
        }
        for (auto it = entries.begin(); it != entries.end();) {
            it = (it->first == address || it->second == serial) ? entries.erase(it) : it + 1;
        }
        entries.emplace_back(address, serial);
    }
    return entries;
}

bool Save(const QString& path, const std::vector<Entry>& entries)
{
    std::string bytes;
    for (const Entry& entry : entries) {
        bytes += entry.first + " " + entry.second + "\n";
    }
    return PrivateFile::Replace(QFile::encodeName(path).toStdString(), bytes);
}

} // namespace

bool LoopbackAddressBook::IsRememberableSerial(const std::string& devSn)
{
    if (devSn.empty() || devSn.size() > kMaxSerialLength) {
        return false;
    }
    for (const char c : devSn) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F) {
            return false;
        }
    }
    return true;
}

std::string LoopbackAddressBook::Remembered(const std::string& devSn) const
{
    for (const Entry& entry : Load(path_)) {
        if (entry.second == devSn) {
            return entry.first;
        }
    }
    return std::string();
}

std::vector<std::string> LoopbackAddressBook::Addresses() const
{
    std::vector<std::string> addresses;
    for (const Entry& entry : Load(path_)) {
        addresses.push_back(entry.first);
    }
    return addresses;
}

std::string LoopbackAddressBook::AddressFor(const std::string& devSn,
                                            const std::set<std::string>& inUse) const
{
    std::vector<Entry> entries = Load(path_);
    const bool remember = IsRememberableSerial(devSn);
    if (remember) {
        for (const Entry& entry : entries) {
            if (entry.second == devSn && inUse.count(entry.first) == 0) {
                return entry.first;
            }
        }
    }
    std::set<std::string> taken = inUse;
    for (const Entry& entry : entries) {
        taken.insert(entry.first);
    }
    std::string chosen;
    for (int host = kFirstHost; host <= kLastHost && chosen.empty(); ++host) {
        if (taken.count(HostAddress(host)) == 0) {
            chosen = HostAddress(host);
        }
    }
    if (chosen.empty()) {
        // Every address is remembered: the one remembered longest ago that is free now.
        for (const Entry& entry : entries) {
            if (inUse.count(entry.first) == 0) {
                chosen = entry.first;
                break;
            }
        }
    }
    if (chosen.empty() || !remember) {
        return chosen;
    }
    for (auto it = entries.begin(); it != entries.end();) {
        it = (it->first == chosen || it->second == devSn) ? entries.erase(it) : it + 1;
    }
    entries.emplace_back(chosen, devSn);
    // An address that cannot be remembered still serves this open.
    Save(path_, entries);
    return chosen;
}
