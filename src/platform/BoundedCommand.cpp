#include "platform/BoundedCommand.h"

#include "platform/SpawnSetup.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {

namespace {

// Reads what the pipe holds now into `output` (up to the limit; the rest is dropped).
// True at end of file.
bool DrainPipe(int fd, std::string& output)
{
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got > 0) {
            const size_t room = BoundedCommand::kMaxOutput - output.size();
            output.append(buffer, std::min(room, static_cast<size_t>(got)));
            continue;
        }
        if (got == 0)
            return true;
        return errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK;
    }
}

} // namespace

BoundedCommand::Result BoundedCommand::Run(const std::string& program,
                                           const std::vector<std::string>& arguments,
                                           const std::string& workingDir, int timeoutMs)
{
    Result result;
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0)
        return result;
    pid_t pid = 0;
    {
        SpawnSetup setup;
        if (setup.Prepare(workingDir, pipeEnds[1]))
            pid = setup.SpawnProgram(program, arguments);
    }
    close(pipeEnds[1]);
    if (pid <= 0) {
        close(pipeEnds[0]);
        return result;
    }
    result.started = true;
    const int readEnd = pipeEnds[0];
    fcntl(readEnd, F_SETFL, fcntl(readEnd, F_GETFL) | O_NONBLOCK);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool ended = false;
    bool pipeOpen = true;
    while (!ended) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        if (pipeOpen) {
            pollfd watch{readEnd, POLLIN, 0};
            const int ready = poll(&watch, 1, static_cast<int>(std::min<long long>(left.count(), 20)));
            if (ready > 0 && DrainPipe(readEnd, result.output))
                pipeOpen = false;
        } else {
            usleep(5000);
        }
        const pid_t done = waitpid(pid, &result.exitStatus, WNOHANG);
        if (done == pid || (done < 0 && errno == ECHILD)) {
            ended = true;
            DrainPipe(readEnd, result.output);
        }
    }
    close(readEnd);
    if (!ended) {
        // Our own child, not yet reaped, so its id cannot have been reused.
        result.timedOut = true;
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    return result;
}

} // namespace platform
