// lumetra-vpnd: starts and stops the OpenVPN client for the local user who asks, so
// that the Lumetra client needs no root rights for its maintenance channel. See
// docs/vpn-service.md.

#include "LumetraVersion.h"
#include "ServiceLoop.h"
#include "VpnService.h"

#include <cstdio>
#include <cstring>
#include <string>

#include <unistd.h>

namespace {

constexpr const char* kDefaultSocket = "/run/lumetra-vpnd.sock";

void Usage(FILE* to)
{
    std::fprintf(to,
                 "Usage: lumetra-vpnd [--socket PATH] [--openvpn PROGRAM] [--run-dir PATH]\n"
                 "Starts and stops the OpenVPN client for the local user who asks, on a Unix socket.\n"
                 "  --socket PATH      listening socket (default %s; a socket passed by systemd wins)\n"
                 "  --openvpn PROGRAM  the OpenVPN program (default: openvpn on PATH)\n"
                 "  --run-dir PATH     folder of the users' private copies (default /run/lumetra-vpnd)\n"
                 "  --help, --version\n",
                 kDefaultSocket);
}

} // namespace

int main(int argc, char** argv)
{
    std::string socketPath = kDefaultSocket;
    VpnService::Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        const bool hasValue = i + 1 < argc;
        if (word == "--help") {
            Usage(stdout);
            return 0;
        }
        if (word == "--version") {
            std::printf("lumetra-vpnd %s\n", LUMETRA_VERSION);
            return 0;
        }
        if (word == "--socket" && hasValue) {
            socketPath = argv[++i];
        } else if (word == "--openvpn" && hasValue) {
            options.openvpn = argv[++i];
        } else if (word == "--run-dir" && hasValue) {
            options.runFolder = argv[++i];
        } else {
            Usage(stderr);
            return 2;
        }
    }
    int fd = ServiceLoop::Inherited();
    const bool own = fd < 0;
    if (own) {
        std::string error;
        fd = ServiceLoop::Listen(socketPath, error);
        if (fd < 0) {
            std::fprintf(stderr, "lumetra-vpnd: %s\n", error.c_str());
            return 1;
        }
    }
    VpnService service(options);
    ServiceLoop loop(fd, service);
    const int code = loop.Run();
    if (own) {
        unlink(socketPath.c_str());
    }
    close(fd);
    return code;
}
