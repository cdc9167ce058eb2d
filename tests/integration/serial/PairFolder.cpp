#include "PairFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <ftw.h>
#include <poll.h>
#include <regex>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

std::string MakeRoot()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/lumetra-serial-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "mkdtemp: " << std::strerror(errno);
        return std::string();
    }
    return pattern;
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*)
{
    remove(path);
    return 0;
}

bool IsVcomProcess(pid_t pid)
{
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    return std::getline(comm, name) && name == "lumetra-vcom";
}

void WaitForExit(pid_t pid, int timeoutMs)
{
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (pidfd < 0)
        return;
    pollfd pfd = {pidfd, POLLIN, 0};
    while (poll(&pfd, 1, timeoutMs) < 0 && errno == EINTR) {
    }
    close(pidfd);
}

} // namespace

PairFolder::PairFolder()
    : m_root(MakeRoot()), m_path(m_root.empty() ? std::string() : m_root + "/vcom"),
      m_env("LUMETRA_VCOM_DIR", m_path)
{
}

PairFolder::~PairFolder()
{
    if (m_root.empty())
        return;
    std::vector<pid_t> holders;
    for (const int number : PairNumbers()) {
        holders.push_back(HolderPid(number));
        RunTool({"remove", std::to_string(number)});
    }
    for (const pid_t pid : holders) {
        if (pid > 0 && IsVcomProcess(pid) && kill(pid, SIGKILL) == 0)
            WaitForExit(pid, 5000);
    }
    nftw(m_root.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string PairFolder::MakeDir(const std::string& name) const
{
    const std::string path = m_root + "/" + name;
    mkdir(path.c_str(), 0700);
    return path;
}

std::string PairFolder::ToolPath()
{
    return std::string(LUMETRA_BIN_DIR) + "/lumetra-vcom";
}

PairFolder::Result PairFolder::RunTool(const std::vector<std::string>& args)
{
    Result result;
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe: " << std::strerror(errno);
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, out[1], 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    const std::string tool = ToolPath();
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(tool.c_str()));
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        ADD_FAILURE() << "cannot start " << tool << ": " << std::strerror(spawned);
        return result;
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kToolTimeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd pfd = {out[0], POLLIN, 0};
        const int ready = poll(&pfd, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        char buffer[4096];
        const ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n > 0) {
            result.output.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        result.finished = true; // end of output: the tool has ended or is ending
        break;
    }
    close(out[0]);
    if (!result.finished) {
        kill(pid, SIGKILL);
        ADD_FAILURE() << "lumetra-vcom did not end in time";
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (result.finished && WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    return result;
}

std::vector<PairFolder::Pair> PairFolder::PairsIn(const std::string& output)
{
    static const std::regex kEnd(R"(CNC([AB])(\d+) PortName=COM#,RealPortName=COM(\d+))");
    std::vector<Pair> pairs;
    for (std::sregex_iterator it(output.begin(), output.end(), kEnd), end; it != end; ++it) {
        const int number = std::stoi((*it)[2]);
        auto pair =
            std::find_if(pairs.begin(), pairs.end(), [&](const Pair& p) { return p.number == number; });
        if (pair == pairs.end()) {
            pairs.push_back(Pair{number, -1, -1});
            pair = pairs.end() - 1;
        }
        ((*it)[1] == "A" ? pair->comA : pair->comB) = std::stoi((*it)[3]);
    }
    return pairs;
}

PairFolder::Pair PairFolder::Install() const
{
    const Result result = RunTool({"install", "PortName=COM#", "PortName=COM#"});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    const std::vector<Pair> made = PairsIn(result.output);
    EXPECT_EQ(made.size(), 1u) << result.output;
    if (made.size() != 1u || made[0].comA < 0 || made[0].comB < 0)
        return Pair();
    return made[0];
}

std::vector<PairFolder::Pair> PairFolder::List() const
{
    const Result result = RunTool({"list"});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    return PairsIn(result.output);
}

std::vector<int> PairFolder::PairNumbers() const
{
    std::vector<int> numbers;
    DIR* dir = opendir(m_path.c_str());
    if (dir == nullptr)
        return numbers;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() > 4 && name.compare(0, 4, "pair") == 0 &&
            name.find_first_not_of("0123456789", 4) == std::string::npos)
            numbers.push_back(std::atoi(name.c_str() + 4));
    }
    closedir(dir);
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

pid_t PairFolder::HolderPid(int number) const
{
    std::ifstream in(m_path + "/pair" + std::to_string(number));
    std::string key;
    long pid = -1;
    if (!(in >> key >> pid) || key != "pid")
        return -1;
    return static_cast<pid_t>(pid);
}
