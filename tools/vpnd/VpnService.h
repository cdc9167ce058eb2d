#pragma once

#include <cstdint>
#include <map>
#include <string>

#include <sys/types.h>

// The service's requests and the OpenVPN clients it runs, one per user. A request is
// one line (see docs/vpn-service.md); Handle answers it with one line, "ok ..." or
// "error <reason>". A client runs as root in a private folder of the service,
// <run folder>/<uid>/, on a copy of the caller's checked profile and of the files it
// names, with the management interface on 127.0.0.1:25341, until its user stops it,
// starts another, or the service ends (EndAll). Only processes this service started
// are ever signalled, by the id it got when it started them; an ended client is
// reaped (Reap) and forgotten.
class VpnService
{
public:
    struct Options
    {
        std::string openvpn = "openvpn"; // looked up on the service's PATH unless it holds a '/'
        std::string runFolder = "/run/lumetra-vpnd";
        std::string managementHost = "127.0.0.1";
        uint16_t managementPort = 25341;
        int termGraceMs = 3000;
    };

    static constexpr size_t kMaxFileBytes = 256 * 1024;

    explicit VpnService(Options options);
    ~VpnService();
    VpnService(const VpnService&) = delete;
    VpnService& operator=(const VpnService&) = delete;

    // The answer to request `line` (without its "\n") of the user `uid`.
    std::string Handle(const std::string& line, uid_t uid);
    // Forgets the clients that have ended.
    void Reap();
    // Ends every client this service started.
    void EndAll();

private:
    std::string Start(const std::string& profilePath, uid_t uid);
    std::string Stop(uid_t uid);
    std::string Status(uid_t uid);
    // Ends the client of `uid`, if any; false when it outlived SIGKILL's wait.
    bool End(uid_t uid);
    pid_t Launch(const std::string& folder, const std::string& profileName) const;
    // The service's private folder of `uid`'s client: <run folder>/<uid>.
    std::string ClientFolder(uid_t uid) const;
    // Forgets the ended client of `uid` and removes its folder (the copies of the
    // user's credentials and keys among them).
    void Forget(uid_t uid);
    bool ManagementPortFree() const;

    Options options_;
    std::map<uid_t, pid_t> clients_;
};
