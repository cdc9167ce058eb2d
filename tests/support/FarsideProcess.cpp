#include "support/FarsideProcess.h"

#include "support/ProgramRun.h"

#include <QDeadlineTimer>
#include <QRegularExpression>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const char kListening[] = "web service listening on ";

} // namespace

FarsideProcess::FarsideProcess() = default;

FarsideProcess::~FarsideProcess()
{
    Stop(5000);
}

bool FarsideProcess::Start(const QString& platconfPath, const QString& inventoryPath,
                           const QStringList& extraArguments, int timeoutMs)
{
    ProgramRun::EnsureApplication();
    Stop(5000);
    out_.clear();
    err_.clear();
    webUrl_.clear();
    error_.clear();
    exitCode_ = -1;
    const std::string program = ProgramRun::BuiltProgram(QStringLiteral("lumetra-farside")).toStdString();
    std::vector<std::string> store = {program, "--platconf", platconfPath.toStdString(), "--inventory",
                                      inventoryPath.toStdString()};
    for (const QString& argument : extraArguments)
        store.push_back(argument.toStdString());
    std::vector<char*> argv;
    for (std::string& argument : store)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        error_ = QStringLiteral("cannot make pipes");
        return false;
    }
    pid_ = fork();
    if (pid_ == 0) {
        // The far side goes with the test, also when the test is killed outright.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        dup2(out[1], 1);
        dup2(err[1], 2);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    fds_[0] = out[0];
    fds_[1] = err[0];
    for (int fd : fds_)
        fcntl(fd, F_SETFL, O_NONBLOCK);
    if (pid_ < 0) {
        error_ = QStringLiteral("cannot start %1").arg(QString::fromStdString(program));
        return false;
    }
    if (!WaitForOutput(QString::fromLatin1(kListening), timeoutMs)) {
        Drain();
        error_ = IsRunning() ? QStringLiteral("no listening line within %1 ms").arg(timeoutMs)
                             : QStringLiteral("lumetra-farside ended with exit code %1").arg(exitCode_);
        error_ += QStringLiteral("; stdout: ") + out_ + QStringLiteral("; stderr: ") + err_;
        return false;
    }
    QRegularExpression line(QStringLiteral("web service listening on (\\S+)"));
    webUrl_ = line.match(out_).captured(1);
    return true;
}

bool FarsideProcess::Reap()
{
    if (pid_ <= 0)
        return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == 0)
        return true;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    pid_ = -1;
    return false;
}

bool FarsideProcess::IsRunning() const
{
    return const_cast<FarsideProcess*>(this)->Reap();
}

qint64 FarsideProcess::ProcessId() const
{
    return IsRunning() ? pid_ : 0;
}

void FarsideProcess::Drain(int timeoutMs)
{
    pollfd pfds[2] = {{fds_[0], POLLIN, 0}, {fds_[1], POLLIN, 0}};
    if (fds_[0] < 0 && fds_[1] < 0)
        return;
    if (timeoutMs > 0)
        poll(pfds, 2, timeoutMs);
    QString* texts[2] = {&out_, &err_};
    for (int i = 0; i < 2; ++i) {
        char buffer[4096];
        ssize_t n;
        QByteArray bytes;
        while (fds_[i] >= 0 && (n = read(fds_[i], buffer, sizeof buffer)) != 0) {
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                break; // nothing more for now
            }
            bytes.append(buffer, static_cast<int>(n));
        }
        if (fds_[i] >= 0 && n == 0) {
            close(fds_[i]);
            fds_[i] = -1;
        }
        *texts[i] += QString::fromUtf8(bytes);
    }
}

QString FarsideProcess::Output()
{
    Drain();
    return out_;
}

QString FarsideProcess::ErrorOutput()
{
    Drain();
    return err_;
}

bool FarsideProcess::WaitForOutput(const QString& text, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        Drain();
        if (out_.contains(text))
            return true;
        if ((!IsRunning() && fds_[0] < 0) || deadline.hasExpired())
            return false;
        Drain(static_cast<int>(qBound<qint64>(qint64(1), deadline.remainingTime(), qint64(100))));
        if (out_.contains(text))
            return true;
    }
}

int FarsideProcess::Stop(int timeoutMs)
{
    if (!IsRunning()) {
        Drain();
        return exitCode_;
    }
    kill(pid_, SIGTERM);
    QDeadlineTimer deadline(timeoutMs);
    while (IsRunning() && !deadline.hasExpired())
        Drain(20);
    int code = exitCode_;
    if (IsRunning()) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
        code = -1;
    }
    Drain();
    for (int& fd : fds_) {
        if (fd >= 0)
            close(fd);
        fd = -1;
    }
    return code;
}
