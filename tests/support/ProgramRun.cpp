#include "support/ProgramRun.h"

#include <QCoreApplication>
#include <QProcess>
#include <csignal>
#include <sys/prctl.h>

void ProgramRun::EnsureApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "lumetra-test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* application = new QCoreApplication(argc, argv);
    (void)application;
}

QString ProgramRun::BuiltProgram(const QString& name)
{
    return QStringLiteral(LUMETRA_BIN_DIR) + QLatin1Char('/') + name;
}

ProgramRun::Result ProgramRun::Run(const QString& program, const QStringList& arguments, int timeoutMs,
                                   const QProcessEnvironment& environment)
{
    return RunWithInput(program, arguments, QByteArray(), timeoutMs, environment);
}

ProgramRun::Result ProgramRun::RunWithInput(const QString& program, const QStringList& arguments,
                                            const QByteArray& input, int timeoutMs,
                                            const QProcessEnvironment& environment)
{
    EnsureApplication();
    Result result;
    QProcess process;
    process.setProcessEnvironment(environment);
    // The child dies with the test process, even when the test crashes.
    process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    process.start(program, arguments);
    if (!process.waitForStarted(10000)) {
        result.err = process.errorString();
        return result;
    }
    result.started = true;
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        result.timedOut = true;
        process.kill();
        process.waitForFinished(5000);
    }
    result.crashed = process.exitStatus() == QProcess::CrashExit;
    result.exitCode = process.exitCode();
    result.bytes = process.readAllStandardOutput();
    result.out = QString::fromUtf8(result.bytes);
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}
