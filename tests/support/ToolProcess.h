#pragma once

#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

// One run of a program with its standard output and error captured. Start() and
// Finish() are separate so several runs can be under way at once.
class ToolProcess
{
public:
    ToolProcess() = default;
    ~ToolProcess() { Kill(); }
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;

    // `env` is set on top of this process's environment (an empty value removes a variable).
    bool Start(const std::string& program, const std::vector<std::string>& args,
               const std::map<std::string, std::string>& env);

    // Reads both streams to their end and reaps the process; false (and the
    // process killed) when that takes longer than `timeoutMs`.
    bool Finish(int timeoutMs);

    int ExitCode() const { return m_exitCode; }
    const std::string& Out() const { return m_out[0]; }
    const std::string& Err() const { return m_out[1]; }
    pid_t Pid() const { return m_pid; }

private:
    void Kill();

    pid_t m_pid = -1;
    int m_fds[2] = {-1, -1};
    int m_exitCode = -1;
    std::string m_out[2];
};
