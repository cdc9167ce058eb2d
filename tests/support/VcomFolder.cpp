#include "VcomFolder.h"

#include "ToolProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

std::string MakeRoot()
{
    std::string pattern = std::filesystem::temp_directory_path() / "lumetra-vcom-test-XXXXXX";
    return mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

} // namespace

VcomFolder::VcomFolder()
    : root_(MakeRoot()), path_(root_.empty() ? std::string() : root_ + "/vcom"),
      env_("LUMETRA_VCOM_DIR", path_)
{
    EXPECT_TRUE(IsValid()) << "mkdtemp failed";
}

VcomFolder::~VcomFolder()
{
    if (root_.empty())
        return;
    for (const int number : PairNumbers()) {
        const pid_t pid = HolderPid(number);
        Run({"remove", std::to_string(number)});
        // A holder that did not go is ended here, unless its pid was reused meanwhile.
        std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
        std::string program;
        if (pid > 0 && std::getline(comm, program) && program == "lumetra-vcom" && kill(pid, SIGKILL) == 0)
            WaitForExit(pid, 5000);
    }
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

std::string VcomFolder::ToolPath()
{
    return LUMETRA_BIN_DIR "/lumetra-vcom";
}

std::string VcomFolder::MakeDir(const std::string& name) const
{
    const std::string path = root_ + "/" + name;
    mkdir(path.c_str(), 0700);
    return path;
}

VcomFolder::Result VcomFolder::Run(const std::vector<std::string>& args,
                                   const std::map<std::string, std::string>& env) const
{
    ToolProcess tool;
    if (!tool.Start(ToolPath(), args, env) || !tool.Finish(kToolTimeoutMs)) {
        ADD_FAILURE() << "lumetra-vcom did not run to its end in time";
        return {};
    }
    return {tool.ExitCode(), tool.Out(), tool.Err()};
}

std::vector<VcomFolder::Pair> VcomFolder::PairsIn(const std::string& output)
{
    static const std::regex kEnd("CNC([AB])(\\d+)\\b.*RealPortName=COM(\\d+)");
    std::vector<Pair> pairs;
    std::istringstream lines(output);
    std::smatch m;
    for (std::string line; std::getline(lines, line);) {
        if (line.find("RealPortName") == std::string::npos)
            continue;
        if (!std::regex_search(line, m, kEnd)) {
            ADD_FAILURE() << "an end without its markers: " << line;
            continue;
        }
        const int number = std::stoi(m[2]);
        auto pair =
            std::find_if(pairs.begin(), pairs.end(), [&](const Pair& p) { return p.number == number; });
        if (pair == pairs.end())
            pair = pairs.insert(pairs.end(), Pair{number, -1, -1});
        (m[1] == "A" ? pair->comA : pair->comB) = std::stoi(m[3]);
    }
    return pairs;
}

VcomFolder::Pair VcomFolder::Install() const
{
    const Result result = Run({"install", "PortName=COM#", "PortName=COM#"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const std::vector<Pair> made = PairsIn(result.out);
    EXPECT_EQ(made.size(), 1u) << result.out;
    return made.size() == 1u && made[0].comA >= 0 && made[0].comB >= 0 ? made[0] : Pair();
}

std::vector<VcomFolder::Pair> VcomFolder::List() const
{
    const Result result = Run({"list"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return PairsIn(result.out);
}

pid_t VcomFolder::HolderPid(int number) const
{
    std::ifstream in(path_ + "/pair" + std::to_string(number));
    std::string key;
    long pid = -1;
    return (in >> key >> pid) && key == "pid" ? static_cast<pid_t>(pid) : -1;
}

std::vector<std::string> VcomFolder::Entries() const
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(path_, error)) {
        if (entry.path().filename() != ".lock")
            names.push_back(entry.path().filename());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<int> VcomFolder::PairNumbers() const
{
    std::vector<int> numbers;
    for (const std::string& name : Entries()) {
        if (name.size() > 4 && name.compare(0, 4, "pair") == 0 &&
            name.find_first_not_of("0123456789", 4) == std::string::npos)
            numbers.push_back(std::stoi(name.substr(4)));
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

bool VcomFolder::WaitForExit(pid_t pid, int timeoutMs)
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
