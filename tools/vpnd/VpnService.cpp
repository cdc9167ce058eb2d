#include "VpnService.h"

#include "CallerFolder.h"
#include "PrivateFolder.h"
#include "ProfileCheck.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr const char* kProfileName = "profile.ovpn";

void SleepMs(long ms)
{
    struct timespec pause = {ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

// Waits at most `ms` for the child `pid` to end; true when it has (and is reaped).
bool WaitEnded(pid_t pid, int ms)
{
    for (int waited = 0;; waited += 10) {
        int status = 0;
        const pid_t got = waitpid(pid, &status, WNOHANG);
        if (got == pid || (got < 0 && errno == ECHILD)) {
            return true;
        }
        if (waited >= ms) {
            return false;
        }
        SleepMs(10);
    }
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path)
{
    return path.substr(path.rfind('/') + 1);
}

} // namespace

VpnService::VpnService(Options options) : options_(std::move(options)) {}

VpnService::~VpnService()
{
    EndAll();
}

std::string VpnService::Handle(const std::string& line, uid_t uid)
{
    Reap();
    if (line.compare(0, 6, "start ") == 0) {
        return Start(line.substr(6), uid);
    }
    if (line == "stop") {
        return Stop(uid);
    }
    if (line == "status") {
        return Status(uid);
    }
    return "error unknown request";
}

std::string VpnService::Start(const std::string& profilePath, uid_t uid)
{
    if (profilePath.empty() || profilePath[0] != '/') {
        return "error the profile must be named by an absolute path";
    }
    const CallerFolder caller(uid);
    if (!caller.HasFolders()) {
        return "error you have no home folder of your own to take a profile from";
    }
    std::string error;
    const std::optional<std::string> text = caller.Read(profilePath, "/", ProfileCheck::kMaxBytes, error);
    if (!text.has_value()) {
        return "error profile " + error;
    }
    std::vector<ProfileCheck::Directive> directives = ProfileCheck::Parse(*text, error);
    if (!error.empty()) {
        return "error profile " + error;
    }
    // Every file the profile names, checked and read now; OpenVPN gets copies.
    const std::string base = FolderOf(CallerFolder::Normalized(profilePath, "/"));
    std::vector<std::pair<std::string, std::string>> inputs;
    for (ProfileCheck::Directive& directive : directives) {
        if (!directive.namesFile) {
            continue;
        }
        std::string& file = directive.arguments[0];
        if (directive.output) {
            if (!caller.HoldsOutput(file, base)) {
                return "error \"" + directive.name + "\" writes outside your folders: " + file;
            }
            file = "output/" + BaseName(CallerFolder::Normalized(file, base));
            continue;
        }
        std::optional<std::string> content = caller.Read(file, base, kMaxFileBytes, error);
        if (!content.has_value()) {
            return "error \"" + directive.name + "\" file " + error;
        }
        file = "input-" + std::to_string(inputs.size() + 1);
        inputs.emplace_back(file, std::move(*content));
    }

    // One client per user: a new start replaces the caller's own.
    if (!End(uid)) {
        return "error your running VPN does not end";
    }
    for (const auto& client : clients_) {
        if (client.first != uid) {
            return "error another user's VPN is running (management port " +
                   std::to_string(options_.managementPort) + " in use)";
        }
    }
    if (!ManagementPortFree()) {
        return "error management port " + options_.managementHost + ":" +
               std::to_string(options_.managementPort) + " is in use by another program";
    }

    const std::string folder = ClientFolder(uid);
    if (!PrivateFolder::MakeEmpty(options_.runFolder, folder) || !PrivateFolder::MakeSub(folder, "output")) {
        return "error the service cannot prepare its folder " + folder;
    }
    for (const auto& input : inputs) {
        if (!PrivateFolder::Write(folder + "/" + input.first, input.second)) {
            return "error the service cannot write in " + folder;
        }
    }
    if (!PrivateFolder::Write(folder + "/" + kProfileName, ProfileCheck::Write(directives))) {
        return "error the service cannot write in " + folder;
    }
    const pid_t pid = Launch(folder, kProfileName);
    if (pid <= 0) {
        return "error OpenVPN cannot be started";
    }
    clients_[uid] = pid;
    return "ok started " + std::to_string(pid);
}

std::string VpnService::Stop(uid_t uid)
{
    if (clients_.count(uid) == 0) {
        return "error no VPN of yours is running";
    }
    if (!End(uid)) {
        return "error your VPN does not end";
    }
    return "ok stopped";
}

std::string VpnService::Status(uid_t uid)
{
    const auto found = clients_.find(uid);
    return found == clients_.end() ? "ok idle" : "ok running " + std::to_string(found->second);
}

bool VpnService::End(uid_t uid)
{
    const auto found = clients_.find(uid);
    if (found == clients_.end()) {
        return true;
    }
    const pid_t pid = found->second;
    // Still our unreaped child: the id cannot have passed to another process.
    kill(pid, SIGTERM);
    if (!WaitEnded(pid, options_.termGraceMs)) {
        kill(pid, SIGKILL);
        if (!WaitEnded(pid, 1000)) {
            return false;
        }
    }
    Forget(uid);
    return true;
}

std::string VpnService::ClientFolder(uid_t uid) const
{
    return options_.runFolder + "/" + std::to_string(uid);
}

void VpnService::Forget(uid_t uid)
{
    clients_.erase(uid);
    PrivateFolder::Remove(ClientFolder(uid));
}

void VpnService::Reap()
{
    std::vector<uid_t> ended;
    for (const auto& client : clients_) {
        int status = 0;
        const pid_t got = waitpid(client.second, &status, WNOHANG);
        if (got == client.second || (got < 0 && errno == ECHILD)) {
            ended.push_back(client.first);
        }
    }
    for (uid_t uid : ended) {
        Forget(uid);
    }
}

void VpnService::EndAll()
{
    std::vector<uid_t> users;
    for (const auto& client : clients_) {
        users.push_back(client.first);
    }
    for (uid_t uid : users) {
        End(uid);
    }
}

bool VpnService::ManagementPortFree() const
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    struct sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(options_.managementPort);
    inet_pton(AF_INET, options_.managementHost.c_str(), &address.sin_addr);
    const bool free = bind(fd, reinterpret_cast<struct sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return free;
}

pid_t VpnService::Launch(const std::string& folder, const std::string& profileName) const
{
    const std::string port = std::to_string(options_.managementPort);
    std::vector<std::string> words = {options_.openvpn,        "--config", profileName, "--management",
                                      options_.managementHost, port};
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(&word[0]);
    }
    argv.push_back(nullptr);
    // A pipe closed on exec tells whether the program ran.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        return -1;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        signal(SIGPIPE, SIG_DFL);
        setsid();
        const int null = open("/dev/null", O_RDWR);
        if (null < 0 || chdir(folder.c_str()) != 0) {
            _exit(127);
        }
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        for (int fd = 3; fd < 1024; ++fd) {
            if (fd != report[1]) {
                close(fd);
            }
        }
        execvp(argv[0], argv.data());
        const int failure = errno;
        (void)!write(report[1], &failure, sizeof failure);
        _exit(127);
    }
    close(report[1]);
    if (pid < 0) {
        close(report[0]);
        return -1;
    }
    int failure = 0;
    ssize_t got = 0;
    do {
        got = read(report[0], &failure, sizeof failure);
    } while (got < 0 && errno == EINTR);
    close(report[0]);
    if (got > 0) {
        waitpid(pid, nullptr, 0);
        return -1;
    }
    return pid;
}
