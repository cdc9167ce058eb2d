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
    m_exitCode = -1;
    m_peakResidentKb = -1;
    m_cpuSeconds = -1;
    m_out[0].clear();
    m_out[1].clear();
    std::vector<std::string> store{program};
    store.insert(store.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : store)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
        return false;
    m_pid = fork();
    if (m_pid == 0) {
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
    m_fds[0] = out[0];
    m_fds[1] = err[0];
    return m_pid > 0;
}

bool ToolProcess::Read(int timeoutMs)
{
    pollfd fds[2] = {{m_fds[0], POLLIN, 0}, {m_fds[1], POLLIN, 0}};
    if (m_fds[0] < 0 && m_fds[1] < 0)
        return false;
    if (poll(fds, 2, timeoutMs) <= 0)
        return true;
    for (int i = 0; i < 2; ++i) {
        char buf[4096];
        const ssize_t n = fds[i].revents ? read(m_fds[i], buf, sizeof buf) : -1;
        if (n > 0) {
            m_out[i].append(buf, static_cast<size_t>(n));
        } else if (fds[i].revents && (n == 0 || errno != EINTR)) {
            close(m_fds[i]);
            m_fds[i] = -1;
        }
    }
    return m_fds[0] >= 0 || m_fds[1] >= 0;
}

void ToolProcess::Reaped(int status, const rusage& usage)
{
    m_pid = -1;
    m_peakResidentKb = usage.ru_maxrss;
    m_cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool ToolProcess::Running()
{
    int status = 0;
    rusage usage{};
    if (m_pid <= 0 || wait4(m_pid, &status, WNOHANG, &usage) == 0)
        return m_pid > 0;
    Reaped(status, usage);
    return false;
}

void ToolProcess::Signal(int signal)
{
    if (Running())
        kill(m_pid, signal);
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
    if (m_pid > 0) {
        while (wait4(m_pid, &status, 0, &usage) < 0 && errno == EINTR) {
        }
        Reaped(status, usage);
    }
    return true;
}

void ToolProcess::Kill()
{
    for (int& fd : m_fds) {
        if (fd >= 0)
            close(fd);
        fd = -1;
    }
    if (m_pid > 0 && kill(m_pid, SIGKILL) == 0)
        waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}
