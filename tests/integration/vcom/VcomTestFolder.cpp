#include "VcomTestFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <ftw.h>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// True when `pid` is still a lumetra-vcom process (a recorded pid may have been
// reused by something else since).
bool IsVcomProcess(pid_t pid)
{
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    return std::getline(comm, name) && name == "lumetra-vcom";
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*)
{
    remove(path);
    return 0;
}

} // namespace

std::string VcomTestFolder::ToolPath()
{
    return std::string(LUMETRA_BIN_DIR) + "/lumetra-vcom";
}

VcomTestFolder::VcomTestFolder()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/lumetra-vcom-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "mkdtemp: " << std::strerror(errno);
        return;
    }
    m_root = pattern;
    m_path = m_root + "/vcom";
}

VcomTestFolder::~VcomTestFolder()
{
    if (m_root.empty())
        return;
    const std::vector<pid_t> pids = AllHolderPids();
    for (const std::string& name : Entries()) {
        if (name.rfind("pair", 0) == 0)
            Run({"remove", name.substr(4)});
    }
    // Whatever did not go the normal way is ended here, so no holder outlives its test.
    for (pid_t pid : pids) {
        if (pid > 0 && IsVcomProcess(pid) && kill(pid, SIGKILL) == 0)
            WaitForExit(pid, 5000);
    }
    nftw(m_root.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

std::map<std::string, std::string> VcomTestFolder::Env() const
{
    return {{"LUMETRA_VCOM_DIR", m_path}};
}

VcomTestFolder::Result VcomTestFolder::Run(const std::vector<std::string>& args) const
{
    return Run(args, Env());
}

VcomTestFolder::Result VcomTestFolder::Run(const std::vector<std::string>& args,
                                           const std::map<std::string, std::string>& env) const
{
    Result result;
    ToolProcess tool;
    if (!tool.Start(ToolPath(), args, env)) {
        ADD_FAILURE() << "cannot start " << ToolPath();
        return result;
    }
    if (!tool.Finish(kToolTimeoutMs)) {
        ADD_FAILURE() << "lumetra-vcom did not end in time";
        return result;
    }
    result.exitCode = tool.ExitCode();
    result.out = tool.Out();
    result.err = tool.Err();
    return result;
}

pid_t VcomTestFolder::HolderPid(int number) const
{
    std::ifstream in(m_path + "/pair" + std::to_string(number));
    std::string key;
    long pid = -1;
    if (!(in >> key >> pid) || key != "pid")
        return -1;
    return static_cast<pid_t>(pid);
}

std::vector<pid_t> VcomTestFolder::AllHolderPids() const
{
    std::vector<pid_t> pids;
    for (const std::string& name : Entries()) {
        if (name.rfind("pair", 0) == 0)
            pids.push_back(HolderPid(std::atoi(name.substr(4).c_str())));
    }
    return pids;
}

std::vector<std::string> VcomTestFolder::Entries() const
{
    std::vector<std::string> names;
    DIR* dir = opendir(m_path.c_str());
    if (!dir)
        return names;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && name != ".lock")
            names.push_back(name);
    }
    closedir(dir);
    return names;
}

bool VcomTestFolder::WaitForExit(pid_t pid, int timeoutMs)
{
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (pidfd < 0)
        return errno == ESRCH;
    pollfd pfd = {pidfd, POLLIN, 0};
    int ready;
    do {
        ready = poll(&pfd, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    close(pidfd);
    return ready == 1;
}
