#pragma once

#include <map>
#include <string>
#include <sys/resource.h>
#include <sys/types.h>
#include <vector>

// One run of a program with its standard output and error captured, started with
// fork and exec (QProcess's way of starting children upsets ThreadSanitizer in the
// test process). The program dies with the test process. Start() and Finish() are
// separate so several runs can be under way at once; Read() collects output of a
// program that keeps running.
class ToolProcess
{
public:
    ToolProcess() = default;
    ~ToolProcess() { Kill(); }
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;

    // `env` is set on top of this process's environment (an empty value removes a variable).
    bool Start(const std::string& program, const std::vector<std::string>& args,
               const std::map<std::string, std::string>& env = {});

    // Waits up to `timeoutMs` for output and adds what came to Out()/Err(). False
    // once both streams have ended.
    bool Read(int timeoutMs);
    // True while the program runs; notes its exit code once it has ended.
    bool Running();
    // Sends `signal` to the program while it runs.
    void Signal(int signal);
    // Reads both streams to their end and reaps the process; false (and the
    // process killed) when that takes longer than `timeoutMs`.
    bool Finish(int timeoutMs);
    // Ends the program at once (SIGKILL) and closes the streams.
    void Kill();

    // The exit code, 128 + the signal for a program ended by one, -1 before the end.
    int ExitCode() const { return exitCode_; }
    // What the ended program used (from the kernel's account of it): its peak
    // resident size in KiB and its processor time (user and system) in seconds;
    // -1 before the end.
    long PeakResidentKb() const { return peakResidentKb_; }
    double CpuSeconds() const { return cpuSeconds_; }
    const std::string& Out() const { return out_[0]; }
    const std::string& Err() const { return out_[1]; }
    pid_t Pid() const { return pid_; }

private:
    void Reaped(int status, const rusage& usage);

    pid_t pid_ = -1;
    int fds_[2] = {-1, -1};
    int exitCode_ = -1;
    long peakResidentKb_ = -1;
    double cpuSeconds_ = -1;
    std::string out_[2];
};
