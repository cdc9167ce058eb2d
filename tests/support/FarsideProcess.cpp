#include "support/FarsideProcess.h"

#include "support/ProgramRun.h"

#include <QDeadlineTimer>
#include <QRegularExpression>

#include <csignal>
#include <string>
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
    const std::string program = ProgramRun::BuiltProgram(QStringLiteral("lumetra-farside")).toStdString();
    std::vector<std::string> arguments = {"--platconf", platconfPath.toStdString(), "--inventory",
                                          inventoryPath.toStdString()};
    for (const QString& argument : extraArguments)
        arguments.push_back(argument.toStdString());
    if (!process_.Start(program, arguments)) {
        error_ = QStringLiteral("cannot start %1").arg(QString::fromStdString(program));
        return false;
    }
    if (!WaitForOutput(QString::fromLatin1(kListening), timeoutMs)) {
        Drain();
        error_ = IsRunning()
                     ? QStringLiteral("no listening line within %1 ms").arg(timeoutMs)
                     : QStringLiteral("lumetra-farside ended with exit code %1").arg(process_.ExitCode());
        error_ += QStringLiteral("; stdout: ") + out_ + QStringLiteral("; stderr: ") + err_;
        return false;
    }
    QRegularExpression line(QStringLiteral("web service listening on (\\S+)"));
    webUrl_ = line.match(out_).captured(1);
    return true;
}

bool FarsideProcess::IsRunning() const
{
    return process_.Running();
}

qint64 FarsideProcess::ProcessId() const
{
    return IsRunning() ? process_.Pid() : 0;
}

void FarsideProcess::Drain(int timeoutMs)
{
    // Waits up to `timeoutMs` for the first output, then takes whatever else is ready.
    if (process_.Read(timeoutMs)) {
        size_t seen;
        do {
            seen = process_.Out().size() + process_.Err().size();
        } while (process_.Read(0) && process_.Out().size() + process_.Err().size() != seen);
    }
    out_ = QString::fromStdString(process_.Out());
    err_ = QString::fromStdString(process_.Err());
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
        if (!IsRunning() || deadline.hasExpired())
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
        return process_.ExitCode() > 127 ? -1 : process_.ExitCode();
    }
    process_.Signal(SIGTERM);
    QDeadlineTimer deadline(timeoutMs);
    while (IsRunning() && !deadline.hasExpired())
        Drain(20);
    Drain();
    if (IsRunning()) {
        process_.Kill();
        return -1;
    }
    return process_.ExitCode() > 127 ? -1 : process_.ExitCode();
}
