#include "PairHolder.h"

#include "PairFiles.h"
#include "PtyBridge.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

void WriteAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

} // namespace

void PairHolder::Detach(int* readyFd)
{
    // Move the report pipe out of the way, point the standard streams at /dev/null
    // (a caller capturing our output must see end-of-file when the tool exits) and
    // close everything else we inherited, above all the folder lock.
    const int moved = fcntl(*readyFd, F_DUPFD_CLOEXEC, 16);
    if (moved >= 0) {
        close(*readyFd);
        *readyFd = moved;
    }
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        if (null > 2)
            close(null);
    }
    if (*readyFd != 3) {
        dup2(*readyFd, 3);
        close(*readyFd);
        *readyFd = 3;
    }
    fcntl(3, F_SETFD, FD_CLOEXEC);
    close_range(4, ~0U, 0);
    if (chdir("/") != 0) {
        // Staying in the caller's folder only keeps that folder busy.
    }
    umask(077);
}

int PairHolder::Hold(const VcomFolder& folder, int readyFd, int number, int comA, int comB)
{
    // Signals become events of the copy loop; blocked first so one arriving during
    // set-up is not lost.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGHUP);
    // A caller that ignores these signals passes that on through fork(), and an
    // ignored signal never reaches a signalfd: back to the defaults first.
    signal(SIGTERM, SIG_DFL);
    signal(SIGINT, SIG_DFL);
    signal(SIGHUP, SIG_DFL);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);
    const int stopFd = signalfd(-1, &stopSignals, SFD_CLOEXEC);

    std::string error;
    PtyBridge bridge;
    PairFiles published(folder);
    PairRecord record;
    record.number = number;
    record.pid = getpid();
    record.comA = comA;
    record.comB = comB;
    bool ok = stopFd >= 0;
    if (!ok)
        error = std::string("signalfd: ") + std::strerror(errno);
    ok = ok && bridge.Open(&error);
    if (ok) {
        record.deviceA = bridge.DevicePath(0);
        record.deviceB = bridge.DevicePath(1);
        ok = published.Link(comA, record.deviceA, &error) && published.Link(comB, record.deviceB, &error) &&
             published.State(number, record, &error);
    }
    if (!ok) {
        published.Remove();
        WriteAll(readyFd, "error " + error);
        close(readyFd);
        return 1;
    }
    WriteAll(readyFd, "ok");
    close(readyFd);

    const bool clean = bridge.Run(stopFd, &error);
    published.Remove();
    return clean ? 0 : 1;
}

bool PairHolder::Start(const VcomFolder& folder, int lockFd, int number, int comA, int comB, PairRecord* made,
                       std::string* error)
{
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) {
        *error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        *error = std::string("fork: ") + std::strerror(errno);
        close(ready[0]);
        close(ready[1]);
        return false;
    }
    if (child == 0) {
        close(ready[0]);
        close(lockFd);
        setsid();
        // A second fork: the holder is not a session leader, so no terminal it
        // opens can become its controlling terminal, and our caller can reap the
        // intermediate child at once.
        const pid_t holder = fork();
        if (holder != 0)
            _exit(holder < 0 ? 1 : 0);
        int readyFd = ready[1];
        Detach(&readyFd);
        _exit(Hold(folder, readyFd, number, comA, comB));
    }
    close(ready[1]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }

    std::string report;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReadyTimeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            *error = "the pair's holder did not report in time";
            close(ready[0]);
            return false;
        }
        pollfd pfd = {ready[0], POLLIN, 0};
        const int n = poll(&pfd, 1, static_cast<int>(left.count()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            continue;
        char buf[512];
        const ssize_t got = read(ready[0], buf, sizeof buf);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        report.append(buf, static_cast<size_t>(got));
    }
    close(ready[0]);
    if (report.rfind("error ", 0) == 0) {
        *error = report.substr(6);
        return false;
    }
    if (report != "ok") {
        *error = "the pair's holder ended before the pair was up";
        return false;
    }
    bool alive = false;
    if (!folder.ReadPair(number, made, &alive) || !alive || made->pid <= 0) {
        *error = "the pair's holder ended right after starting";
        return false;
    }
    return true;
}
