#pragma once

#include <spawn.h>
#include <string>
#include <sys/types.h>
#include <vector>

namespace platform {

// Spawn attributes and file actions of one hidden child (ProcessLauncher), released
// on every path out.
class SpawnSetup
{
public:
    SpawnSetup();
    ~SpawnSetup();
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    // Common set-up of a hidden child: own session, default signal handling and an
    // empty signal mask, stdin from /dev/null, the working folder, nothing inherited
    // beyond descriptors 0 to 2. `output` is the descriptor for stdout and stderr,
    // or -1 for /dev/null.
    bool Prepare(const std::string& workingDir, int output);

    // Starts /bin/sh -c `commandLine`; the child's pid, or 0.
    pid_t Spawn(const std::string& commandLine);

    // Starts `program` with `arguments` and no shell in between, looked up on PATH
    // when it holds no '/'. The child's pid, or 0, also when the program cannot be
    // executed (posix_spawnp reports a failed exec as its own failure).
    pid_t SpawnProgram(const std::string& program, const std::vector<std::string>& arguments);

private:
    bool okay_ = false;
    posix_spawnattr_t attr_;
    posix_spawn_file_actions_t actions_;
};

} // namespace platform
