#include "ProfileRules.h"

#include <cstring>

namespace {

struct Entry
{
    const char* name;
    ProfileRules::Kind kind;
    int maxArguments;
    const char* reason;
};

using K = ProfileRules::Kind;

constexpr const char* kRunsPrograms = "runs a program";
constexpr const char* kLoadsCode = "loads code into OpenVPN";
constexpr const char* kChangesProcess = "changes OpenVPN's user, folder or way of running";
constexpr const char* kManagement = "the management interface is set by the service";
constexpr const char* kEnvironment = "sets variables for programs, or hides directives from checking";
constexpr const char* kDevices = "names a device file or a folder of the system";
constexpr const char* kServer = "a server directive: the service runs clients only";

// Sorted by nothing in particular; looked up by a linear scan (a profile has a few
// dozen lines).
constexpr Entry kTable[] = {
    // Run programs, or allow them to run.
    {"script-security", K::Forbidden, 0, kRunsPrograms},
    {"up", K::Forbidden, 0, kRunsPrograms},
    {"down", K::Forbidden, 0, kRunsPrograms},
    {"up-delay", K::Forbidden, 0, kRunsPrograms},
    {"down-pre", K::Forbidden, 0, kRunsPrograms},
    {"up-restart", K::Forbidden, 0, kRunsPrograms},
    {"route-up", K::Forbidden, 0, kRunsPrograms},
    {"route-pre-down", K::Forbidden, 0, kRunsPrograms},
    {"ipchange", K::Forbidden, 0, kRunsPrograms},
    {"tls-verify", K::Forbidden, 0, kRunsPrograms},
    {"learn-address", K::Forbidden, 0, kRunsPrograms},
    {"client-connect", K::Forbidden, 0, kRunsPrograms},
    {"client-disconnect", K::Forbidden, 0, kRunsPrograms},
    {"client-crresponse", K::Forbidden, 0, kRunsPrograms},
    {"auth-user-pass-verify", K::Forbidden, 0, kRunsPrograms},
    {"tls-crypt-v2-verify", K::Forbidden, 0, kRunsPrograms},
    {"iproute", K::Forbidden, 0, kRunsPrograms},
    {"route-ipv6-up", K::Forbidden, 0, kRunsPrograms},
    // Load code.
    {"plugin", K::Forbidden, 0, kLoadsCode},
    {"engine", K::Forbidden, 0, kLoadsCode},
    {"providers", K::Forbidden, 0, kLoadsCode},
    {"pkcs11-providers", K::Forbidden, 0, kLoadsCode},
    {"pkcs11-id", K::Forbidden, 0, kLoadsCode},
    {"pkcs11-id-management", K::Forbidden, 0, kLoadsCode},
    // Read further files as configuration, change the process or its folders.
    {"config", K::Forbidden, 0, "reads another file as configuration"},
    {"cd", K::Forbidden, 0, kChangesProcess},
    {"chroot", K::Forbidden, 0, kChangesProcess},
    {"daemon", K::Forbidden, 0, kChangesProcess},
    {"inetd", K::Forbidden, 0, kChangesProcess},
    {"user", K::Forbidden, 0, kChangesProcess},
    {"group", K::Forbidden, 0, kChangesProcess},
    {"nice", K::Forbidden, 0, kChangesProcess},
    {"tmp-dir", K::Forbidden, 0, kChangesProcess},
    {"syslog", K::Forbidden, 0, kChangesProcess},
    {"dev-node", K::Forbidden, 0, kDevices},
    {"capath", K::Forbidden, 0, kDevices},
    {"tls-export-cert", K::Forbidden, 0, kDevices},
    {"client-config-dir", K::Forbidden, 0, kServer},
    {"setenv", K::Forbidden, 0, kEnvironment},
    {"setenv-safe", K::Forbidden, 0, kEnvironment},
    {"ignore-unknown-option", K::Forbidden, 0, kEnvironment},
    {"management", K::Forbidden, 0, kManagement},
    {"management-client", K::Forbidden, 0, kManagement},
    {"management-client-auth", K::Forbidden, 0, kManagement},
    {"management-client-user", K::Forbidden, 0, kManagement},
    {"management-client-group", K::Forbidden, 0, kManagement},
    {"management-external-key", K::Forbidden, 0, kManagement},
    {"management-external-cert", K::Forbidden, 0, kManagement},
    {"management-forget-disconnect", K::Forbidden, 0, kManagement},
    {"management-hold", K::Forbidden, 0, kManagement},
    {"management-log-cache", K::Forbidden, 0, kManagement},
    {"management-query-passwords", K::Forbidden, 0, kManagement},
    {"management-query-proxy", K::Forbidden, 0, kManagement},
    {"management-query-remote", K::Forbidden, 0, kManagement},
    {"management-signal", K::Forbidden, 0, kManagement},
    {"management-up-down", K::Forbidden, 0, kManagement},
    {"server", K::Forbidden, 0, kServer},
    {"mode", K::Forbidden, 0, kServer},
    {"ifconfig-pool-persist", K::Forbidden, 0, kServer},
    {"replay-persist", K::Forbidden, 0, "writes a file of its own"},
    // Files OpenVPN reads: copied, checked, into the service's private folder.
    {"ca", K::InputFile, 1, ""},
    {"cert", K::InputFile, 1, ""},
    {"key", K::InputFile, 1, ""},
    {"pkcs12", K::InputFile, 1, ""},
    {"extra-certs", K::InputFile, 1, ""},
    {"tls-auth", K::InputFile, 2, ""},
    {"tls-crypt", K::InputFile, 1, ""},
    {"tls-crypt-v2", K::InputFile, 1, ""},
    {"secret", K::InputFile, 2, ""},
    {"crl-verify", K::InputFile, 1, ""},
    {"auth-user-pass", K::InputFile, 1, ""},
    {"askpass", K::InputFile, 1, ""},
    // Files OpenVPN writes: kept in the service's private folder.
    {"log", K::OutputFile, 1, ""},
    {"log-append", K::OutputFile, 1, ""},
    {"status", K::OutputFile, 2, ""},
    {"writepid", K::OutputFile, 1, ""},
    // Plain client settings.
    {"client", K::Plain, 0, ""},
    {"tls-client", K::Plain, 0, ""},
    {"pull", K::Plain, 0, ""},
    {"dev", K::Plain, 1, ""},
    {"dev-type", K::Plain, 1, ""},
    {"proto", K::Plain, 1, ""},
    {"remote", K::Plain, 3, ""},
    {"remote-random", K::Plain, 0, ""},
    {"remote-random-hostname", K::Plain, 0, ""},
    {"port", K::Plain, 1, ""},
    {"rport", K::Plain, 1, ""},
    {"lport", K::Plain, 1, ""},
    {"local", K::Plain, 2, ""},
    {"bind", K::Plain, 1, ""},
    {"nobind", K::Plain, 0, ""},
    {"float", K::Plain, 0, ""},
    {"resolv-retry", K::Plain, 1, ""},
    {"connect-retry", K::Plain, 2, ""},
    {"connect-retry-max", K::Plain, 1, ""},
    {"connect-timeout", K::Plain, 1, ""},
    {"server-poll-timeout", K::Plain, 1, ""},
    {"http-proxy", K::Plain, 2, ""},
    {"socks-proxy", K::Plain, 2, ""},
    {"persist-key", K::Plain, 0, ""},
    {"persist-tun", K::Plain, 0, ""},
    {"persist-remote-ip", K::Plain, 0, ""},
    {"persist-local-ip", K::Plain, 0, ""},
    {"mlock", K::Plain, 0, ""},
    {"remote-cert-tls", K::Plain, 1, ""},
    {"remote-cert-ku", K::Plain, 8, ""},
    {"remote-cert-eku", K::Plain, 1, ""},
    {"ns-cert-type", K::Plain, 1, ""},
    {"verify-x509-name", K::Plain, 2, ""},
    {"key-direction", K::Plain, 1, ""},
    {"cipher", K::Plain, 1, ""},
    {"data-ciphers", K::Plain, 1, ""},
    {"data-ciphers-fallback", K::Plain, 1, ""},
    {"ncp-ciphers", K::Plain, 1, ""},
    {"auth", K::Plain, 1, ""},
    {"tls-version-min", K::Plain, 2, ""},
    {"tls-version-max", K::Plain, 1, ""},
    {"tls-cipher", K::Plain, 1, ""},
    {"tls-ciphersuites", K::Plain, 1, ""},
    {"tls-groups", K::Plain, 1, ""},
    {"tls-cert-profile", K::Plain, 1, ""},
    {"reneg-sec", K::Plain, 2, ""},
    {"hand-window", K::Plain, 1, ""},
    {"tran-window", K::Plain, 1, ""},
    {"auth-nocache", K::Plain, 0, ""},
    {"auth-retry", K::Plain, 1, ""},
    {"comp-lzo", K::Plain, 1, ""},
    {"compress", K::Plain, 1, ""},
    {"allow-compression", K::Plain, 1, ""},
    {"keepalive", K::Plain, 2, ""},
    {"ping", K::Plain, 1, ""},
    {"ping-restart", K::Plain, 1, ""},
    {"ping-exit", K::Plain, 1, ""},
    {"inactive", K::Plain, 2, ""},
    {"explicit-exit-notify", K::Plain, 1, ""},
    {"topology", K::Plain, 1, ""},
    {"tun-mtu", K::Plain, 1, ""},
    {"link-mtu", K::Plain, 1, ""},
    {"mssfix", K::Plain, 2, ""},
    {"fragment", K::Plain, 2, ""},
    {"mtu-disc", K::Plain, 1, ""},
    {"sndbuf", K::Plain, 1, ""},
    {"rcvbuf", K::Plain, 1, ""},
    {"txqueuelen", K::Plain, 1, ""},
    {"fast-io", K::Plain, 0, ""},
    {"disable-dco", K::Plain, 0, ""},
    {"route", K::Plain, 4, ""},
    {"route-ipv6", K::Plain, 3, ""},
    {"route-metric", K::Plain, 1, ""},
    {"route-delay", K::Plain, 2, ""},
    {"route-nopull", K::Plain, 0, ""},
    {"redirect-gateway", K::Plain, 6, ""},
    {"block-ipv6", K::Plain, 0, ""},
    {"dhcp-option", K::Plain, 2, ""},
    {"pull-filter", K::Plain, 2, ""},
    {"verb", K::Plain, 1, ""},
    {"mute", K::Plain, 1, ""},
    {"mute-replay-warnings", K::Plain, 0, ""},
};

} // namespace

ProfileRules::Rule ProfileRules::Of(const std::string& name)
{
    Rule rule;
    for (const Entry& entry : kTable) {
        if (name == entry.name) {
            rule.kind = entry.kind;
            rule.reason = entry.reason;
            rule.maxArguments = entry.maxArguments;
            rule.fileOptional = name == "auth-user-pass" || name == "askpass";
            return rule;
        }
    }
    rule.reason = "is not a directive the service allows";
    return rule;
}

bool ProfileRules::IsInlineBlock(const std::string& name)
{
    static constexpr const char* kBlocks[] = {"ca",          "cert",       "key",           "pkcs12",
                                              "extra-certs", "tls-auth",   "tls-crypt",     "tls-crypt-v2",
                                              "secret",      "crl-verify", "auth-user-pass"};
    for (const char* block : kBlocks) {
        if (std::strcmp(block, name.c_str()) == 0) {
            return true;
        }
    }
    return false;
}
