#include "ToolProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

bool ToolProcess::Start(const std::string& program, const std::vector<std::string>& args,
                        const std::map<std::string, std::string>& env)
{
    Kill();
    exitCode_ = -1;
    peakResidentKb_ = -1;
    cpuSeconds_ = -1;
    out_[0].clear();
    out_[1].clear();
    std::vector<std::string> store{program};
    store.insert(store.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : store)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
        return false;
    pid_ = fork();
    if (pid_ == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        for (const auto& [name, value] : env)
            value.empty() ? unsetenv(name.c_str()) : setenv(name.c_str(), value.c_str(), 1);
        dup2(out[1], 1);
        dup2(err[1], 2);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    fds_[0] = out[0];
    fds_[1] = err[0];
    return pid_ > 0;
}

bool ToolProcess::Read(int timeoutMs)
{
    pollfd fds[2] = {{fds_[0], POLLIN, 0}, {fds_[1], POLLIN, 0}};
    if (fds_[0] < 0 && fds_[1] < 0)
        return false;
    if (poll(fds, 2, timeoutMs) <= 0)
        return true;
    for (int i = 0; i < 2; ++i) {
        char buf[4096];
        const ssize_t n = fds[i].revents ? read(fds_[i], buf, sizeof buf) : -1;
        if (n > 0) {
            out_[i].append(buf, static_cast<size_t>(n));
        } else if (fds[i].revents && (n == 0 || errno != EINTR)) {
            close(fds_[i]);
            fds_[i] = -1;
        }
    }
    return fds_[0] >= 0 || fds_[1] >= 0;
}

void ToolProcess::Reaped(int status, const rusage& usage)
{
    pid_ = -1;
    peakResidentKb_ = usage.ru_maxrss;
    cpuSeconds_ = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                  static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool ToolProcess::Running()
{
    int status = 0;
    rusage usage{};
    if (pid_ <= 0 || wait4(pid_, &status, WNOHANG, &usage) == 0)
        return pid_ > 0;
    Reaped(status, usage);
    return false;
}

void ToolProcess::Signal(int signal)
{
    if (Running())
        kill(pid_, signal);
}

bool ToolProcess::Finish(int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            Kill();
            return false;
        }
        if (!Read(static_cast<int>(left.count())))
            break;
    }
    // Both streams are closed, so the process has exited or is about to.
    int status = 0;
    rusage usage{};
    if (pid_ > 0) {
        while (wait4(pid_, &status, 0, &usage) < 0 && errno == EINTR) {
        }
        Reaped(status, usage);
    }
    return true;
}

void ToolProcess::Kill()
{
    for (int& fd : fds_) {
        if (fd >= 0)
            close(fd);
        fd = -1;
    }
    if (pid_ > 0 && kill(pid_, SIGKILL) == 0)
        waitpid(pid_, nullptr, 0);
    pid_ = -1;
}
