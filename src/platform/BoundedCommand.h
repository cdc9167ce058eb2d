#pragma once

#include <string>
#include <vector>

namespace platform {

// Runs a program hidden (as ProcessLauncher does) to its end, but never longer than a
// given time: a program still running then is killed. For the pre-flight check, which
// asks helper programs whether they work and must answer within its own bound.
class BoundedCommand
{
public:
    struct Result
    {
        bool started = false;  // false: the program could not be executed (not found, not executable)
        bool timedOut = false; // killed at the time-out
        int exitStatus = -1;   // wait status as waitpid reports it (valid when started and not timed out)
        std::string output;    // standard output and standard error, at most kMaxOutput bytes
    };

    // The most output kept; the rest is read and dropped.
    static constexpr size_t kMaxOutput = 64 * 1024;

    // Starts `program` (looked up on PATH when it holds no '/') with `arguments` in
    // `workingDir`, no shell in between, and waits at most `timeoutMs` for its end.
    static Result Run(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& workingDir, int timeoutMs);
};

} // namespace platform
