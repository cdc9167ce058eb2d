#pragma once

#include <optional>
#include <string>

// The client's end of the VPN service's socket (lumetra-vpnd, docs/vpn-service.md):
// one request line, one answer line, then the connection closes.
class VpnServiceClient
{
public:
    static constexpr const char* kDefaultSocket = "/run/lumetra-vpnd.sock";
    // The whole exchange; a start may first end the user's running client (a few
    // seconds at most).
    static constexpr int kAnswerTimeoutMs = 15000;
    static constexpr size_t kMaxAnswerBytes = 4096;

    // The socket to ask: LUMETRA_VPND_SOCKET when set and not empty, otherwise the
    // default one, except for root, who starts OpenVPN itself. Empty when none.
    static std::string SocketPath();

    // The service's answer to `request` (both without the line end). Nothing when no
    // service accepts the connection: the caller starts OpenVPN itself. A service that
    // does not answer in time gives an "error ..." answer.
    static std::optional<std::string> Ask(const std::string& request);
};
