#include "platform/PortHolder.h"

#include "platform/BoundedFile.h"
#include "platform/ProcessLauncher.h"

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <sstream>
#include <unistd.h>

namespace platform {

namespace {

// The socket tables are small; a machine with very many sockets is read up to this.
constexpr size_t kMaxTableBytes = 16 * 1024 * 1024;
// "socket:[<inode>]"
constexpr char kSocketLinkPrefix[] = "socket:[";

// The directory's entries whose names are all digits.
std::vector<std::string> NumericEntries(const std::string& folder)
{
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr)
        return names;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (!name.empty() &&
            std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; }))
            names.push_back(name);
    }
    closedir(dir);
    return names;
}

// Whether a descriptor of process `pid` is one of the sockets `inodes`.
bool HoldsSocket(const std::string& pid, const std::vector<uint64_t>& inodes)
{
    const std::string fdFolder = "/proc/" + pid + "/fd";
    for (const std::string& fd : NumericEntries(fdFolder)) {
        char target[128];
        const ssize_t length = readlink((fdFolder + "/" + fd).c_str(), target, sizeof target - 1);
        if (length <= 0)
            continue;
        target[length] = '\0';
        const std::string link(target);
        if (link.compare(0, sizeof kSocketLinkPrefix - 1, kSocketLinkPrefix) != 0)
            continue;
        unsigned long long inode = 0;
        if (std::sscanf(link.c_str() + sizeof kSocketLinkPrefix - 1, "%llu", &inode) == 1 &&
            std::find(inodes.begin(), inodes.end(), inode) != inodes.end())
            return true;
    }
    return false;
}

} // namespace

std::vector<uint64_t> PortHolder::ListeningInodes(const std::string& table, uint16_t port)
{
    // "  sl  local_address rem_address   st tx_queue:rx_queue tr:tm->when retrnsmt   uid  timeout inode"
    //  "0: 0100007F:01F6 00000000:0000 0A 00000000:00000000 00:00000000 00000000 0 0 12345 ..."
    std::vector<uint64_t> inodes;
    std::istringstream lines(table);
    std::string line;
    std::getline(lines, line); // the header
    constexpr int kListen = 0x0A;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout;
        unsigned long long inode = 0;
        if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
              timeout >> inode))
            continue;
        const size_t colon = local.rfind(':');
        if (colon == std::string::npos)
            continue;
        unsigned int localPort = 0;
        unsigned int stateCode = 0;
        if (std::sscanf(local.c_str() + colon + 1, "%x", &localPort) != 1 ||
            std::sscanf(state.c_str(), "%x", &stateCode) != 1)
            continue;
        if (localPort == port && static_cast<int>(stateCode) == kListen && inode != 0)
            inodes.push_back(inode);
    }
    return inodes;
}

std::vector<PortHolder::Holder> PortHolder::Listeners(uint16_t port)
{
    std::vector<uint64_t> inodes;
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        QByteArray bytes;
        std::string error;
        if (BoundedFile::Read(QString::fromLatin1(table), kMaxTableBytes, &bytes, &error) ==
            BoundedFile::Result::Read) {
            const std::vector<uint64_t> found = ListeningInodes(bytes.toStdString(), port);
            inodes.insert(inodes.end(), found.begin(), found.end());
        }
    }
    std::vector<Holder> holders;
    if (inodes.empty())
        return holders;
    for (const std::string& pid : NumericEntries("/proc")) {
        if (HoldsSocket(pid, inodes))
            holders.push_back(Holder{std::stoll(pid), ProcessLauncher::NameOf(std::stoll(pid))});
    }
    std::sort(holders.begin(), holders.end(), [](const Holder& a, const Holder& b) { return a.pid < b.pid; });
    return holders;
}

std::string PortHolder::Describe(uint16_t port)
{
    std::string text;
    for (const Holder& holder : Listeners(port)) {
        if (!text.empty())
            text += ", ";
        text += (holder.name.empty() ? std::string("?") : holder.name) + " (pid " +
                std::to_string(holder.pid) + ")";
    }
    return text;
}

} // namespace platform
