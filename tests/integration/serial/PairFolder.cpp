#include "PairFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <ftw.h>
#include <poll.h>
#include <regex>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string MakeRoot()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/lumetra-serial-test-XXXXXX";
    return mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

bool IsVcomProcess(pid_t pid)
{
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    return std::getline(comm, name) && name == "lumetra-vcom";
}

} // namespace

PairFolder::PairFolder()
    : m_root(MakeRoot()), m_path(m_root.empty() ? std::string() : m_root + "/vcom"),
      m_env("LUMETRA_VCOM_DIR", m_path)
{
    EXPECT_TRUE(IsValid()) << "mkdtemp failed";
}

PairFolder::~PairFolder()
{
    if (m_root.empty())
        return;
    for (const int number : PairNumbers()) {
        std::ifstream state(m_path + "/pair" + std::to_string(number));
        std::string key;
        long holder = -1;
        state >> key >> holder;
        RunTool("remove " + std::to_string(number));
        const int pidfd =
            key == "pid" && holder > 0 ? static_cast<int>(syscall(SYS_pidfd_open, holder, 0)) : -1;
        if (pidfd >= 0 && IsVcomProcess(static_cast<pid_t>(holder)) &&
            kill(static_cast<pid_t>(holder), SIGKILL) == 0) {
            pollfd exited = {pidfd, POLLIN, 0};
            poll(&exited, 1, 5000);
        }
        if (pidfd >= 0)
            close(pidfd);
    }
    nftw(
        m_root.c_str(), [](const char* path, const struct stat*, int, FTW*) { return remove(path), 0; }, 16,
        FTW_DEPTH | FTW_PHYS);
}

std::string PairFolder::MakeDir(const std::string& name) const
{
    const std::string path = m_root + "/" + name;
    mkdir(path.c_str(), 0700);
    return path;
}

PairFolder::Result PairFolder::RunTool(const std::string& args)
{
    Result result;
    const std::string command = "timeout -s KILL 20 '" + ToolPath() + "' " + args + " 2>&1 </dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot run " << command;
        return result;
    }
    for (int c; (c = std::fgetc(pipe)) != EOF;)
        result.output += static_cast<char>(c);
    const int status = pclose(pipe);
    if (WIFEXITED(status) && WEXITSTATUS(status) != 124 && WEXITSTATUS(status) != 137)
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
        if (pair == pairs.end())
            pair = pairs.insert(pairs.end(), Pair{number, -1, -1});
        ((*it)[1] == "A" ? pair->comA : pair->comB) = std::stoi((*it)[3]);
    }
    return pairs;
}

PairFolder::Pair PairFolder::Install() const
{
    const Result result = RunTool("install PortName=COM# PortName=COM#");
    EXPECT_EQ(result.exitCode, 0) << result.output;
    const std::vector<Pair> made = PairsIn(result.output);
    EXPECT_EQ(made.size(), 1u) << result.output;
    return made.size() == 1u && made[0].comA >= 0 && made[0].comB >= 0 ? made[0] : Pair();
}

std::vector<PairFolder::Pair> PairFolder::List() const
{
    const Result result = RunTool("list");
    EXPECT_EQ(result.exitCode, 0) << result.output;
    return PairsIn(result.output);
}

std::vector<int> PairFolder::PairNumbers() const
{
    std::vector<int> numbers;
    DIR* dir = opendir(m_path.c_str());
    while (const dirent* entry = dir != nullptr ? readdir(dir) : nullptr) {
        const std::string name = entry->d_name;
        if (name.size() > 4 && name.compare(0, 4, "pair") == 0 &&
            name.find_first_not_of("0123456789", 4) == std::string::npos)
            numbers.push_back(std::atoi(name.c_str() + 4));
    }
    if (dir != nullptr)
        closedir(dir);
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}
