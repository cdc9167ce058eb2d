#pragma once

#include <string>

class VpnService;

// The service's socket: takes connections on a listening Unix stream socket, reads
// one request line from each (at most kMaxRequestBytes, within kClientTimeoutMs,
// at most kMaxClients at once; never blocking on a peer), learns the caller from the
// socket's peer credentials, answers with one line and closes. SIGTERM, SIGINT and
// SIGHUP end the loop; SIGCHLD makes the service forget ended clients.
class ServiceLoop
{
public:
    static constexpr size_t kMaxRequestBytes = 4096;
    static constexpr int kClientTimeoutMs = 5000;
    static constexpr size_t kMaxClients = 16;

    ServiceLoop(int listenFd, VpnService& service);

    // Runs until a stop signal; the signals are blocked while the loop runs. Returns
    // the program's exit code.
    int Run();

    // A listening socket at `path` that every local user may connect to; a socket
    // file left there by an earlier run is replaced, anything else is refused. -1
    // with `error` set on failure.
    static int Listen(const std::string& path, std::string& error);
    // The socket systemd passed (LISTEN_FDS for this process), or -1.
    static int Inherited();

private:
    int listenFd_;
    VpnService& service_;
};
