#include "VpnServerRunner.h"

#include "CertificateFactory.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <netinet/in.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string FindProgram(const std::string& configured)
{
    if (!configured.empty())
        return access(configured.c_str(), X_OK) == 0 ? configured : std::string();
    std::vector<std::string> candidates = {"/usr/sbin/openvpn", "/usr/local/sbin/openvpn"};
    if (const char* path = getenv("PATH")) {
        std::stringstream folders(path);
        std::string folder;
        while (std::getline(folders, folder, ':'))
            if (!folder.empty())
                candidates.push_back(folder + "/openvpn");
    }
    for (const std::string& candidate : candidates)
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
    return std::string();
}

int PickPort()
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0)
        close(fd);
    return port;
}

bool WriteFile(const fs::path& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out.flush());
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string LogTail(const fs::path& log)
{
    std::string text = ReadFile(log);
    if (text.size() > 1500)
        text = "..." + text.substr(text.size() - 1500);
    return text.empty() ? std::string("(no log)") : text;
}

std::string Configuration(const fs::path& folder, int port)
{
    // Each server gets its own tunnel subnet, so that several can run side by side.
    const std::string net = "10.213." + std::to_string(1 + port % 250) + ".";
    const std::string dir = folder.string();
    return "cd " + dir +
           "\n"
           "mode server\n"
           "tls-server\n"
           "local 127.0.0.1\n"
           "port " +
           std::to_string(port) +
           "\n"
           "proto tcp-server\n"
           "dev tun\n"
           "topology subnet\n"
           "ifconfig " +
           net + "1 255.255.255.0\n" + "ifconfig-pool " + net + "2 " + net + "200 255.255.255.0\n" +
           "push \"topology subnet\"\n"
           "push \"route-gateway " +
           net + "1\"\n" + "ca " + dir + "/ca.crt\n" + "cert " + dir + "/server.crt\n" + "key " + dir +
           "/server.key\n" +
           "dh none\n"
           "verify-client-cert none\n"
           "username-as-common-name\n"
           "duplicate-cn\n"
           "script-security 2\n"
           "auth-user-pass-verify " +
           dir + "/checkpw.sh via-file\n" + "tmp-dir " + dir + "\n" +
           "comp-lzo\n"
           "allow-compression yes\n"
           "keepalive 10 60\n"
           "persist-key\n"
           "persist-tun\n"
           "verb 3\n"
           "log " +
           dir + "/server.log\n";
}

std::string CheckScript(const std::string& password, int delayMs)
{
    char delay[32];
    snprintf(delay, sizeof delay, "%d.%03d", delayMs / 1000, delayMs % 1000);
    // Line 1 of the file is the user name, line 2 the password.
    return "#!/bin/sh\n"
           "user=$(sed -n 1p \"$1\")\n"
           "pass=$(sed -n 2p \"$1\")\n"
           "sleep " +
           std::string(delay) +
           "\n"
           "[ -n \"$user\" ] && [ \"$pass\" = \"" +
           password + "\" ]\n";
}

} // namespace

VpnServerRunner::VpnServerRunner() = default;

VpnServerRunner::~VpnServerRunner()
{
    Stop();
}

bool VpnServerRunner::CanRun(const Options& options, std::string* reason)
{
    if (geteuid() != 0) {
        *reason = "the VPN server needs root (it makes a tun device)";
        return false;
    }
    if (access("/dev/net/tun", R_OK | W_OK) != 0) {
        *reason = "the VPN server needs /dev/net/tun, which is missing or not usable here";
        return false;
    }
    if (FindProgram(options.openvpnProgram).empty()) {
        *reason = options.openvpnProgram.empty()
                      ? "no openvpn program found (install the openvpn package)"
                      : "the openvpn program " + options.openvpnProgram + " is missing or not executable";
        return false;
    }
    return true;
}

std::string VpnServerRunner::CaCertificatePath() const
{
    return folder_.empty() ? std::string() : folder_ + "/ca.crt";
}

bool VpnServerRunner::Start(const Options& options, std::string* error)
{
    Stop();
    if (!CanRun(options, error))
        return false;
    char folderTemplate[] = "/tmp/lumetra-vpnserver-XXXXXX";
    if (!mkdtemp(folderTemplate)) {
        *error = std::string("cannot make a temporary folder: ") + std::strerror(errno);
        return false;
    }
    folder_ = folderTemplate;
    const fs::path folder = folder_;
    const fs::path program = folder / "vpnserverd";
    std::error_code failure;
    if (!CertificateFactory::WriteVpnCertificates(folder, error)) {
        Stop();
        return false;
    }
    if (!fs::copy_file(FindProgram(options.openvpnProgram), program, failure) ||
        !WriteFile(folder / "checkpw.sh", CheckScript(options.password, options.authDelayMs))) {
        *error = "cannot prepare the VPN server in " + folder_ + ": " + failure.message();
        Stop();
        return false;
    }
    fs::permissions(program, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    fs::permissions(folder / "checkpw.sh",
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    if (!options.caCopyPath.empty()) {
        const fs::path copy = options.caCopyPath;
        if (copy.has_parent_path())
            fs::create_directories(copy.parent_path(), failure);
        if (!fs::copy_file(folder / "ca.crt", copy, fs::copy_options::overwrite_existing, failure)) {
            *error = "cannot write the CA certificate to " + options.caCopyPath + ": " + failure.message();
            Stop();
            return false;
        }
    }

    // A port picked free can be taken by someone else before the server binds it:
    // try a few times.
    for (int attempt = 0; attempt < 3; ++attempt) {
        port_ = PickPort();
        const fs::path log = folder / "server.log";
        fs::remove(log, failure);
        if (port_ == 0 || !WriteFile(folder / "server.conf", Configuration(folder, port_))) {
            *error = "cannot write the VPN server's configuration in " + folder_;
            break;
        }
        const std::string programText = program.string();
        const std::string configText = (folder / "server.conf").string();
        char* const argv[] = {const_cast<char*>("vpnserverd"), const_cast<char*>("--config"),
                              const_cast<char*>(configText.c_str()), nullptr};
        const pid_t parent = getpid();
        const pid_t pid = fork();
        if (pid == 0) {
            // Only async-signal-safe calls between fork and exec. The far side blocks
            // SIGINT and SIGTERM in every thread and a blocked set survives exec:
            // unblock them, or the server would ignore both the SIGTERM of Stop and
            // the one below. The server goes with the far side even when that is
            // killed outright.
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != parent)
                _exit(1);
            setsid();
            const int null = open("/dev/null", O_RDWR);
            if (null >= 0) {
                dup2(null, 0);
                dup2(null, 1);
                dup2(null, 2);
            }
            if (chdir(folderTemplate) == 0)
                execv(programText.c_str(), argv);
            _exit(127);
        }
        if (pid < 0) {
            *error = std::string("cannot start the VPN server: ") + std::strerror(errno);
            break;
        }
        pid_ = pid;

        // Ready when the log says so; bounded, and cut short when the server ends.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        bool exited = false;
        while (std::chrono::steady_clock::now() < deadline) {
            if (ReadFile(log).find("Initialization Sequence Completed") != std::string::npos)
                return true;
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exited = true;
                pid_ = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        *error =
            std::string(exited ? "the VPN server ended at start" : "the VPN server did not start in 20 s") +
            "; its log:\n" + LogTail(log);
        const bool portTaken = ReadFile(log).find("Address already in use") != std::string::npos;
        if (!exited || !portTaken)
            break;
    }
    Stop();
    return false;
}

void VpnServerRunner::Stop()
{
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        int status = 0;
        while (waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(pid_, SIGKILL);
                waitpid(pid_, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        pid_ = -1;
    }
    if (!folder_.empty()) {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
        folder_.clear();
    }
    port_ = 0;
}
