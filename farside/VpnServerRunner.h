#pragma once

#include <string>
#include <sys/types.h>

// The far side's OpenVPN server on loopback: TCP on 127.0.0.1 at a free port, a tun
// device with its own /24 in 10.213.x.0, user name and password authentication (any
// non-empty user, password 730158) that answers after a delay, so that the client's
// management connection sees the state reports as it would across the internet.
// Start makes a temporary folder with a throwaway CA and server certificate, the
// configuration, the password check script and a copy of the openvpn program named
// "vpnserverd" (so that it is never taken for a client, which tests find by the name
// "openvpn"), and
// runs that copy; Stop ends it and removes the folder.
class VpnServerRunner
{
public:
    struct Options
    {
        std::string openvpnProgram; // empty: /usr/sbin/openvpn, /usr/local/sbin/openvpn, then PATH
        std::string caCopyPath;     // when set, ca.crt is also written there (folders created)
        int authDelayMs = 1500;     // delay of the password check
        std::string password = "730158";
    };

    VpnServerRunner();
    ~VpnServerRunner(); // Stop
    VpnServerRunner(const VpnServerRunner&) = delete;
    VpnServerRunner& operator=(const VpnServerRunner&) = delete;

    // Whether this machine can run the server (root, /dev/net/tun, an openvpn
    // program); false with the reason otherwise.
    static bool CanRun(const Options& options, std::string* reason);

    // Starts the server and waits (bounded) until it listens; false with a reason
    // (with the tail of the server's log when it ran) otherwise. The server is ended
    // when the thread that started it ends: start it from the main thread.
    bool Start(const Options& options, std::string* error);
    void Stop();

    bool Running() const { return pid_ > 0; }
    std::string Host() const { return "127.0.0.1"; }
    int Port() const { return port_; }
    std::string CaCertificatePath() const; // inside the temporary folder
    std::string Folder() const { return folder_; }

private:
    pid_t pid_ = -1;
    int port_ = 0;
    std::string folder_;
};
