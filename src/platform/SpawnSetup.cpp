#include "platform/SpawnSetup.h"

#include <fcntl.h>
#include <signal.h>

extern char** environ;

namespace platform {

SpawnSetup::SpawnSetup()
{
    okay_ = posix_spawnattr_init(&attr_) == 0;
    if (okay_ && posix_spawn_file_actions_init(&actions_) != 0) {
        posix_spawnattr_destroy(&attr_);
        okay_ = false;
    }
}

SpawnSetup::~SpawnSetup()
{
    if (okay_) {
        posix_spawn_file_actions_destroy(&actions_);
        posix_spawnattr_destroy(&attr_);
    }
}

bool SpawnSetup::Prepare(const std::string& workingDir, int output)
{
    if (!okay_) {
        return false;
    }
    sigset_t all;
    sigset_t none;
    sigfillset(&all);
    sigemptyset(&none);
    short flags = POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    bool fine = posix_spawnattr_setflags(&attr_, flags) == 0 &&
                posix_spawnattr_setsigdefault(&attr_, &all) == 0 &&
                posix_spawnattr_setsigmask(&attr_, &none) == 0 &&
                posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0) == 0;
    if (fine && output >= 0) {
        fine = posix_spawn_file_actions_adddup2(&actions_, output, 1) == 0 &&
               posix_spawn_file_actions_adddup2(&actions_, output, 2) == 0;
    } else if (fine) {
        fine = posix_spawn_file_actions_addopen(&actions_, 1, "/dev/null", O_WRONLY, 0) == 0 &&
               posix_spawn_file_actions_adddup2(&actions_, 1, 2) == 0;
    }
    if (fine && !workingDir.empty()) {
        fine = posix_spawn_file_actions_addchdir_np(&actions_, workingDir.c_str()) == 0;
    }
    if (fine) {
        fine = posix_spawn_file_actions_addclosefrom_np(&actions_, 3) == 0;
    }
    return fine;
}

pid_t SpawnSetup::Spawn(const std::string& commandLine)
{
    std::string shell = "/bin/sh";
    std::string arg0 = "sh";
    std::string dashC = "-c";
    std::string command = commandLine;
    char* argv[] = {arg0.data(), dashC.data(), command.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, shell.c_str(), &actions_, &attr_, argv, environ) != 0) {
        return 0;
    }
    return pid;
}

pid_t SpawnSetup::SpawnProgram(const std::string& program, const std::vector<std::string>& arguments)
{
    std::vector<std::string> words;
    words.reserve(arguments.size() + 1);
    words.push_back(program);
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (program.empty() ||
        posix_spawnp(&pid, program.c_str(), &actions_, &attr_, argv.data(), environ) != 0) {
        return 0;
    }
    return pid;
}

} // namespace platform
