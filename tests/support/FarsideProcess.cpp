#include "support/FarsideProcess.h"

#include "support/ProgramRun.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <csignal>
#include <sys/prctl.h>

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
    process_ = std::make_unique<QProcess>();
    process_->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    QStringList arguments = {QStringLiteral("--platconf"), platconfPath, QStringLiteral("--inventory"),
                             inventoryPath};
    arguments += extraArguments;
    QString program = ProgramRun::BuiltProgram(QStringLiteral("lumetra-farside"));
    process_->start(program, arguments);
    if (!process_->waitForStarted(10000)) {
        error_ = QStringLiteral("cannot start %1: %2").arg(program, process_->errorString());
        return false;
    }
    if (!WaitForOutput(QString::fromLatin1(kListening), timeoutMs)) {
        Drain();
        error_ = IsRunning()
                     ? QStringLiteral("no listening line within %1 ms").arg(timeoutMs)
                     : QStringLiteral("lumetra-farside ended with exit code %1").arg(process_->exitCode());
        error_ += QStringLiteral("; stdout: ") + out_ + QStringLiteral("; stderr: ") + err_;
        return false;
    }
    QRegularExpression line(QStringLiteral("web service listening on (\\S+)"));
    webUrl_ = line.match(out_).captured(1);
    return true;
}

bool FarsideProcess::IsRunning() const
{
    return process_ && process_->state() != QProcess::NotRunning;
}

qint64 FarsideProcess::ProcessId() const
{
    return IsRunning() ? process_->processId() : 0;
}

void FarsideProcess::Drain()
{
    if (!process_)
        return;
    out_ += QString::fromUtf8(process_->readAllStandardOutput());
    err_ += QString::fromUtf8(process_->readAllStandardError());
}

QString FarsideProcess::Output()
{
    if (IsRunning())
        process_->waitForReadyRead(0);
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
        process_->waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
    }
}

int FarsideProcess::Stop(int timeoutMs)
{
    if (!IsRunning())
        return process_ && process_->exitStatus() == QProcess::NormalExit ? process_->exitCode() : -1;
    process_->terminate();
    int code = -1;
    if (process_->waitForFinished(timeoutMs)) {
        if (process_->exitStatus() == QProcess::NormalExit)
            code = process_->exitCode();
    } else {
        process_->kill();
        process_->waitForFinished(5000);
    }
    Drain();
    return code;
}
