#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Who listens on a local TCP port, as far as the system tells: the listening sockets
// of /proc/net/tcp and /proc/net/tcp6 and the processes whose descriptors hold them
// (/proc/<pid>/fd). Another user's processes are seen only with the rights to read
// their descriptors (as root).
class PortHolder
{
public:
    struct Holder
    {
        int64_t pid = 0;
        std::string name; // /proc/<pid>/comm
    };

    // The processes holding a listening socket on `port` (any local address), in
    // ascending pid order; empty when none can be named.
    static std::vector<Holder> Listeners(uint16_t port);

    // "name (pid N)" for each holder, joined by ", "; empty when none can be named.
    static std::string Describe(uint16_t port);

    // The socket inodes of the listening sockets on `port` found in `table`, the text
    // of a /proc/net/tcp or tcp6 file (lines past the first that do not parse are
    // skipped).
    static std::vector<uint64_t> ListeningInodes(const std::string& table, uint16_t port);
};

} // namespace platform
