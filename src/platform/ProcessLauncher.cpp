#include "platform/ProcessLauncher.h"

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

extern char** environ;

namespace {

// Spawn attributes and file actions, released on every path out.
class SpawnSetup
{
public:
    SpawnSetup()
    {
        okay_ = posix_spawnattr_init(&attr_) == 0;
        if (okay_ && posix_spawn_file_actions_init(&actions_) != 0) {
            posix_spawnattr_destroy(&attr_);
            okay_ = false;
        }
    }
    ~SpawnSetup()
    {
        if (okay_) {
            posix_spawn_file_actions_destroy(&actions_);
            posix_spawnattr_destroy(&attr_);
        }
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    // Common set-up of a hidden child: own session, default signal handling and an
    // empty signal mask, stdin from /dev/null, the working folder, nothing inherited
    // beyond descriptors 0 to 2. `output` is the descriptor for stdout and stderr,
    // or -1 for /dev/null.
    bool Prepare(const std::string& workingDir, int output)
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

    // Starts /bin/sh -c `commandLine`; the child's pid, or 0.
    pid_t Spawn(const std::string& commandLine)
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

    // Starts `program` with `arguments` and no shell in between, looked up on PATH
    // when it holds no '/'. The child's pid, or 0, also when the program cannot be
    // executed (posix_spawnp reports a failed exec as its own failure).
    pid_t SpawnProgram(const std::string& program, const std::vector<std::string>& arguments)
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

private:
    bool okay_ = false;
    posix_spawnattr_t attr_;
    posix_spawn_file_actions_t actions_;
};

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

// Reads a small /proc file whole; false when it is not there.
bool ReadProcFile(const std::string& path, std::string& out)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    out.clear();
    char buffer[512];
    for (;;) {
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        out.append(buffer, static_cast<size_t>(got));
    }
    close(fd);
    return true;
}

// What /proc/<pid>/stat ("pid (comm) S ppid ...") says of a process: its state
// letter (field 3) and its start time (field 22, clock ticks after boot). The name
// may itself hold parentheses and spaces, so the last ')' ends it.
struct ProcessStat
{
    char state = 0; // 0: no such process
    uint64_t startTime = 0;
};

ProcessStat ReadProcessStat(int64_t pid)
{
    ProcessStat result;
    if (pid < 1) {
        return result;
    }
    std::string stat;
    if (!ReadProcFile("/proc/" + std::to_string(pid) + "/stat", stat)) {
        return result;
    }
    size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size()) {
        return result;
    }
    result.state = stat[close + 2];
    // Field 3 starts at close + 2; field 22 is 19 separators further on.
    size_t at = close + 2;
    for (int field = 3; field < 22 && at != std::string::npos; ++field) {
        at = stat.find(' ', at);
        if (at != std::string::npos) {
            ++at;
        }
    }
    if (at != std::string::npos && at < stat.size()) {
        const char* begin = stat.c_str() + at;
        char* end = nullptr;
        errno = 0;
        const unsigned long long value = std::strtoull(begin, &end, 10);
        if (end != begin && errno == 0 && (*end == ' ' || *end == '\n' || *end == '\0')) {
            result.startTime = value;
        }
    }
    return result;
}

char ProcessState(int64_t pid)
{
    return ReadProcessStat(pid).state;
}

bool IsEndedState(char state)
{
    return state == 0 || state == 'Z' || state == 'X' || state == 'x';
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
    const ProcessStat stat = ReadProcessStat(pid);
    return IsEndedState(stat.state) ? 0 : stat.startTime;
}

std::string ProcessLauncher::NameOf(int64_t pid)
{
    std::string name;
    if (pid < 1 || !ReadProcFile("/proc/" + std::to_string(pid) + "/comm", name)) {
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
    return !IsEndedState(ProcessState(pid));
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
        if (IsEndedState(ProcessState(pid))) {
            continue;
        }
        Entry entry;
        entry.pid = pid;
        if (!ReadProcFile("/proc/" + std::to_string(pid) + "/comm", entry.name)) {
            continue; // ended meanwhile
        }
        if (!entry.name.empty() && entry.name.back() == '\n') {
            entry.name.pop_back();
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}
