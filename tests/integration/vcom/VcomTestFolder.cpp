#include "VcomTestFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

VcomTestFolder::VcomTestFolder()
{
    std::string pattern = std::filesystem::temp_directory_path() / "lumetra-vcom-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        ADD_FAILURE() << "mkdtemp failed";
    m_root = pattern;
    m_path = m_root + "/vcom";
}

VcomTestFolder::~VcomTestFolder()
{
    for (const std::string& name : Entries()) {
        if (name.rfind("pair", 0) != 0)
            continue;
        const pid_t pid = HolderPid(std::stoi(name.substr(4)));
        Run({"remove", name.substr(4)});
        // A holder that did not go is ended here, unless its pid was reused meanwhile.
        std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
        std::string program;
        if (pid > 0 && std::getline(comm, program) && program == "lumetra-vcom" && kill(pid, SIGKILL) == 0)
            WaitForExit(pid, 5000);
    }
    std::error_code ignored;
    std::filesystem::remove_all(m_root, ignored);
}

VcomTestFolder::Result VcomTestFolder::Run(const std::vector<std::string>& args,
                                           const std::map<std::string, std::string>& env) const
{
    ToolProcess tool;
    if (!tool.Start(ToolPath(), args, env) || !tool.Finish(kToolTimeoutMs)) {
        ADD_FAILURE() << "lumetra-vcom did not run to its end in time";
        return {};
    }
    return {tool.ExitCode(), tool.Out(), tool.Err()};
}

pid_t VcomTestFolder::HolderPid(int number) const
{
    std::ifstream in(m_path + "/pair" + std::to_string(number));
    std::string key;
    long pid = -1;
    return (in >> key >> pid) && key == "pid" ? static_cast<pid_t>(pid) : -1;
}

std::vector<std::string> VcomTestFolder::Entries() const
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(m_path, error)) {
        if (entry.path().filename() != ".lock")
            names.push_back(entry.path().filename());
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool VcomTestFolder::WaitForExit(pid_t pid, int timeoutMs)
{
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (pidfd < 0)
        return errno == ESRCH;
    pollfd pfd = {pidfd, POLLIN, 0};
    int ready;
    while ((ready = poll(&pfd, 1, timeoutMs)) < 0 && errno == EINTR) {
    }
    close(pidfd);
    return ready == 1;
}
