#include "platform/ProcessLauncher.h"

#include "platform/ProcessStat.h"
#include "platform/SpawnSetup.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {

namespace {

// Waits for `pid` on a thread of its own so that a child nobody waits for never
// stays a zombie.
void ReapInBackground(pid_t pid)
{
    try {
        std::thread([pid]() {
            int status = 0;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (...) {
        // No thread to spare: the child stays a zombie until we exit; the process
        // list already treats zombies as ended.
    }
}

// A process descriptor (pidfd) of `pid`, or -1 with errno set: ESRCH when no such
// process exists, ENOSYS or EPERM where the kernel or a sandbox offers none.
int OpenProcessDescriptor(pid_t pid)
{
#ifdef SYS_pidfd_open
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    errno = ENOSYS;
    return -1;
#endif
}

bool SignalThroughDescriptor(int descriptor, int signal)
{
#ifdef SYS_pidfd_send_signal
    return syscall(SYS_pidfd_send_signal, descriptor, signal, nullptr, 0) == 0;
#else
    (void)descriptor;
    (void)signal;
    errno = ENOSYS;
    return false;
#endif
}

// Waits up to `timeoutMs` for the process behind the descriptor to end (it becomes
// readable then, whoever its parent is); true when it has.
bool WaitDescriptor(int descriptor, int timeoutMs)
{
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd watch{descriptor, POLLIN, 0};
        const int ready = poll(&watch, 1, static_cast<int>(std::max<int64_t>(left.count(), 0)));
        if (ready > 0) {
            return true;
        }
        if (ready == 0 || errno != EINTR) {
            return false;
        }
    }
}

// Waits up to `timeoutMs` until no process with that id and start time runs.
bool WaitIdentityGone(int64_t pid, uint64_t startTime, int timeoutMs)
{
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    while (ProcessLauncher::StartTime(pid) == startTime) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Closes a descriptor on every path out.
class DescriptorGuard
{
public:
    explicit DescriptorGuard(int descriptor) : descriptor_(descriptor) {}
    ~DescriptorGuard()
    {
        if (descriptor_ >= 0) {
            close(descriptor_);
        }
    }
    DescriptorGuard(const DescriptorGuard&) = delete;
    DescriptorGuard& operator=(const DescriptorGuard&) = delete;

private:
    int descriptor_;
};

// Reads whatever the non-blocking descriptor holds; true at end of file.
bool DrainAvailable(int fd, std::string& output)
{
    char chunk[65536];
    for (;;) {
        ssize_t got = read(fd, chunk, sizeof chunk);
        if (got > 0) {
            output.append(chunk, static_cast<size_t>(got));
            continue;
        }
        if (got == 0) {
            return true;
        }
        if (errno == EINTR) {
            continue;
        }
        // EAGAIN: nothing more for now; any other error ends the reading.
        return errno != EAGAIN && errno != EWOULDBLOCK;
    }
}

} // namespace

ProcessLauncher::Captured ProcessLauncher::RunCaptured(const std::string& commandLine,
                                                       const std::string& workingDir)
{
    Captured result;
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
        return result;
    }
    pid_t pid = 0;
    {
        SpawnSetup setup;
        if (setup.Prepare(workingDir, pipeEnds[1])) {
            pid = setup.Spawn(commandLine);
        }
    }
    close(pipeEnds[1]);
    if (pid <= 0) {
        close(pipeEnds[0]);
        return result;
    }
    result.started = true;
    int readEnd = pipeEnds[0];
    fcntl(readEnd, F_SETFL, fcntl(readEnd, F_GETFL) | O_NONBLOCK);

    // Read while the command runs. The loop ends at end of file (every writer gone)
    // or, when a background descendant keeps the pipe open, once the command itself
    // has ended and what it left in the pipe has been read.
    bool ended = false;
    for (;;) {
        pollfd watch{readEnd, POLLIN, 0};
        int ready = poll(&watch, 1, 20);
        if (ready < 0 && errno != EINTR) {
            break;
        }
        if (ready > 0 && DrainAvailable(readEnd, result.output)) {
            break;
        }
        pid_t done = waitpid(pid, &result.exitStatus, WNOHANG);
        if (done == pid || (done < 0 && errno == ECHILD)) {
            ended = true;
            DrainAvailable(readEnd, result.output);
            break;
        }
    }
    close(readEnd);
    if (!ended) {
        while (waitpid(pid, &result.exitStatus, 0) < 0 && errno == EINTR) {
        }
    }
    return result;
}

int64_t ProcessLauncher::StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                                      const std::string& workingDir)
{
    SpawnSetup setup;
    if (!setup.Prepare(workingDir, -1)) {
        return 0;
    }
    pid_t pid = setup.SpawnProgram(program, arguments);
    if (pid > 0) {
        ReapInBackground(pid);
    }
    return pid;
}

uint64_t ProcessLauncher::StartTime(int64_t pid)
{
    const ProcessStat stat = ProcessStat::Read(pid);
    return ProcessStat::IsEndedState(stat.state) ? 0 : stat.startTime;
}

std::string ProcessLauncher::NameOf(int64_t pid)
{
    std::string name;
    if (pid < 1 || !ProcessStat::ReadProcFile("/proc/" + std::to_string(pid) + "/comm", name)) {
        return std::string();
    }
    if (!name.empty() && name.back() == '\n') {
        name.pop_back();
    }
    return name;
}

ProcessLauncher::EndResult ProcessLauncher::End(int64_t pid, uint64_t startTime, int graceMs, int killWaitMs)
{
    if (pid < 1 || pid > INT_MAX || pid == static_cast<int64_t>(getpid()) || startTime == 0) {
        return EndResult::NotRunning;
    }
    // A process descriptor holds on to the process it was opened for. The start time
    // is compared after it was opened: when it matches, the descriptor is that very
    // process, and a pid that is reused later can never receive our signals.
    const int descriptor = OpenProcessDescriptor(static_cast<pid_t>(pid));
    if (descriptor < 0 && errno == ESRCH) {
        return EndResult::NotRunning;
    }
    DescriptorGuard guard(descriptor);
    if (StartTime(pid) != startTime) {
        return EndResult::NotRunning;
    }
    // Without a descriptor the identity is checked again right before each signal.
    auto send = [&](int signal) {
        if (descriptor >= 0) {
            return SignalThroughDescriptor(descriptor, signal);
        }
        return StartTime(pid) == startTime && kill(static_cast<pid_t>(pid), signal) == 0;
    };
    auto wait = [&](int timeoutMs) {
        return descriptor >= 0 ? WaitDescriptor(descriptor, timeoutMs)
                               : WaitIdentityGone(pid, startTime, timeoutMs);
    };
    if (!send(SIGTERM)) {
        // Gone in the meantime, or not ours to signal.
        return wait(0) ? EndResult::Ended : EndResult::Survived;
    }
    if (wait(graceMs)) {
        return EndResult::Ended;
    }
    if (!send(SIGKILL)) {
        return wait(0) ? EndResult::Ended : EndResult::Survived;
    }
    return wait(killWaitMs) ? EndResult::Killed : EndResult::Survived;
}

bool ProcessLauncher::Kill(int64_t pid)
{
    if (pid < 1 || pid > INT_MAX || pid == static_cast<int64_t>(getpid())) {
        return false;
    }
    return kill(static_cast<pid_t>(pid), SIGKILL) == 0;
}

bool ProcessLauncher::IsRunning(int64_t pid)
{
    if (pid < 1) {
        return false;
    }
    return !ProcessStat::IsEndedState(ProcessStat::Read(pid).state);
}

bool ProcessLauncher::WaitGone(int64_t pid, int timeoutMs)
{
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    while (IsRunning(pid)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

std::vector<ProcessLauncher::Entry> ProcessLauncher::List()
{
    std::vector<Entry> entries;
    DIR* proc = opendir("/proc");
    if (proc == nullptr) {
        return entries;
    }
    std::vector<int64_t> pids;
    while (dirent* item = readdir(proc)) {
        const char* name = item->d_name;
        if (*name == '\0' || std::strspn(name, "0123456789") != std::strlen(name) || std::strlen(name) > 9) {
            continue;
        }
        pids.push_back(std::strtoll(name, nullptr, 10));
    }
    closedir(proc);
    std::sort(pids.begin(), pids.end());

    for (int64_t pid : pids) {
        if (ProcessStat::IsEndedState(ProcessStat::Read(pid).state)) {
            continue;
        }
        Entry entry;
        entry.pid = pid;
        if (!ProcessStat::ReadProcFile("/proc/" + std::to_string(pid) + "/comm", entry.name)) {
            continue; // ended meanwhile
        }
        if (!entry.name.empty() && entry.name.back() == '\n') {
            entry.name.pop_back();
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

} // namespace platform
