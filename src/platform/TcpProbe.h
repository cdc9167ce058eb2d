#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Plain TCP questions of the pre-flight check, on any thread and each within its
// bound: whether a server accepts a connection, and whether a local port is free.
class TcpProbe
{
public:
    // Connects to `host`:`port` (a numeric address or a name) and closes again. True
    // once connected within `timeoutMs`; otherwise `error` says why ("connection
    // refused", "no answer within 5000 ms", ...). Resolving a name is not bounded by
    // the time-out beyond the resolver's own.
    static bool Connect(const std::string& host, uint16_t port, int timeoutMs, std::string* error);

    // Whether a listener could be made on `address`:`port` (an IPv4 address) as a
    // tunnel makes it: binds and listens, then closes at once. 0 when it could, else
    // the errno of the failed step (EADDRINUSE: another socket holds it; EACCES: a
    // privileged port and no right to it).
    static int TryListen(const std::string& address, uint16_t port);
};

} // namespace platform
