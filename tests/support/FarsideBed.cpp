#include "support/FarsideBed.h"

#include "support/FreePort.h"
#include "support/PlatconfBuilder.h"
#include "support/ProgramRun.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <csignal>
#include <sys/prctl.h>

FarsideBed::FarsideBed(std::string user, std::string password)
    : user_(std::move(user)), password_(std::move(password)), home_(QDir::tempPath() + "/lumetra-test-XXXXXX")
{
}

FarsideBed::~FarsideBed()
{
    EndCli();
    farside_.Stop();
    RemoveComPairs(vcomDir_);
}

bool FarsideBed::StartBroker()
{
    if (!broker_.Start()) {
        error_ = "broker: " + broker_.Error();
        return false;
    }
    ports_.insert(broker_.Port());
    return true;
}

int FarsideBed::PickPort()
{
    // A port picked twice in a row would be given twice.
    for (;;) {
        const int port = FreePort::Pick();
        if (port == 0 || ports_.insert(port).second)
            return port;
    }
}

bool FarsideBed::StartFarside(const QByteArray& inventory, const QStringList& options)
{
    // Web service, port-transfer server, relay server.
    const int web = PickPort(), portTransfer = PickPort(), relay = PickPort();
    if (!home_.isValid() || web == 0 || portTransfer == 0 || relay == 0) {
        error_ = home_.isValid() ? "no free port" : "no temporary folder";
        return false;
    }
    // The installation: the custom resource file, the pair tool in the program folder
    // (where the client looks for it) and a virtual COM folder of its own.
    const QDir home(home_.path());
    const QString platconf = home.filePath("custom_resource/platconf");
    const QString inventoryPath = home.filePath("inventory.json");
    QFile inventoryFile(inventoryPath);
    vcomDir_ = home.filePath("vcom");
    PlatconfBuilder builder;
    builder.WebService(web)
        .Broker(broker_)
        .TunnelServers(portTransfer, relay)
        .Text("relay_host", "127.0.0.1");
    for (const auto& [name, text] : extra_)
        builder.Text(name, text);
    if (!home.mkpath("custom_resource") || !home.mkpath("vcom") || !builder.WriteTo(platconf) ||
        !QFile::link(ProgramRun::BuiltProgram("lumetra-vcom"), home.filePath("lumetra-vcom")) ||
        !inventoryFile.open(QIODevice::WriteOnly) || inventoryFile.write(inventory) != inventory.size()) {
        error_ = "cannot prepare the installation in " + home.path();
        return false;
    }
    inventoryFile.close();
    platconfPath_ = platconf;
    inventoryPath_ = inventoryPath;
    farsideOptions_ = QStringList{"--keepalive", "0"} + options;
    if (!farside_.Start(platconf, inventoryPath, farsideOptions_) ||
        !farside_.WaitForOutput("broker connected")) {
        error_ = "far side: " + farside_.Error() + farside_.Output() + farside_.ErrorOutput();
        return false;
    }
    return true;
}

bool FarsideBed::RestartFarside()
{
    farside_.Stop();
    if (!farside_.Start(platconfPath_, inventoryPath_, farsideOptions_) ||
        !farside_.WaitForOutput("broker connected")) {
        error_ = "far side: " + farside_.Error() + farside_.Output() + farside_.ErrorOutput();
        return false;
    }
    return true;
}

QProcessEnvironment FarsideBed::Environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LUMETRA_HOME", home_.path());
    env.insert("LUMETRA_VCOM_DIR", vcomDir_);
    return env;
}

void FarsideBed::RunCli(const QStringList& arguments)
{
    cli_.setProcessEnvironment(cliCommand_.isEmpty() ? Environment() : cliEnvironment_);
    // Ended with this process, also when it is killed.
    cli_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    const QStringList account{"--user", QString::fromStdString(user_), "--password",
                              QString::fromStdString(password_)};
    if (cliCommand_.isEmpty())
        cli_.start(ProgramRun::BuiltProgram("lumetra-cli"), arguments + account);
    else
        cli_.start(cliCommand_.first(), cliCommand_.mid(1) + arguments + account);
    // Running from here on, also for a test that waits on something else than the
    // program's output (Interrupt and Crash signal only a running program).
    cli_.waitForStarted(10000);
}

void FarsideBed::Drain()
{
    out_ += QString::fromUtf8(cli_.readAllStandardOutput());
    err_ += QString::fromUtf8(cli_.readAllStandardError());
    if (farside_.IsRunning()) {
        farside_.Output();
        farside_.ErrorOutput();
    }
}

bool FarsideBed::WaitForOutput(const std::function<bool()>& done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        Drain();
        if (done())
            return true;
        if (deadline.hasExpired() || cli_.state() == QProcess::NotRunning)
            return false;
        cli_.waitForReadyRead(100);
    }
}

QString FarsideBed::WaitForLine(const QString& prefix, int timeoutMs)
{
    const QRegularExpression line("^" + QRegularExpression::escape(prefix) + "(.*)$",
                                  QRegularExpression::MultilineOption);
    QRegularExpressionMatch match;
    WaitForOutput([&] { return (match = line.match(out_)).hasMatch(); }, timeoutMs);
    return match.captured(1);
}

QStringList FarsideBed::WaitForLines(const QString& prefix, int count, int timeoutMs)
{
    QStringList found;
    WaitForOutput(
        [&] {
            found.clear();
            // Whole lines only: the last one may still be coming.
            const QStringList lines = out_.split('\n');
            for (int i = 0; i + 1 < lines.size(); ++i)
                if (lines[i].startsWith(prefix))
                    found << lines[i].mid(prefix.size());
            return found.size() >= count;
        },
        timeoutMs);
    return found;
}

bool FarsideBed::WaitForError(const QString& text, int timeoutMs)
{
    return WaitForOutput([&] { return err_.contains(text); }, timeoutMs);
}

bool FarsideBed::WaitForErrorLines(const QString& prefix, int count, int timeoutMs)
{
    return WaitForOutput(
        [&] {
            int seen = 0;
            for (const QString& line : err_.split('\n'))
                seen += line.startsWith(prefix) ? 1 : 0;
            return seen >= count;
        },
        timeoutMs);
}

int FarsideBed::WaitForExit(int timeoutMs)
{
    const bool ended = cli_.state() == QProcess::NotRunning || cli_.waitForFinished(timeoutMs);
    Drain();
    if (!ended) {
        cli_.kill();
        cli_.waitForFinished(5000);
        return -1;
    }
    return cli_.exitStatus() == QProcess::NormalExit ? cli_.exitCode() : -1;
}

int FarsideBed::Interrupt(int signal)
{
    if (cli_.state() == QProcess::Running)
        ::kill(static_cast<pid_t>(cli_.processId()), signal);
    return WaitForExit();
}

void FarsideBed::Crash()
{
    if (cli_.state() == QProcess::Running)
        cli_.kill();
    WaitForExit();
}

void FarsideBed::EndCli()
{
    if (cli_.state() != QProcess::NotRunning) {
        cli_.kill();
        cli_.waitForFinished(5000);
    }
}

void FarsideBed::RemoveComPairs(const QString& folder)
{
    if (folder.isEmpty())
        return;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LUMETRA_VCOM_DIR", folder);
    for (const QString& pair : QDir(folder).entryList({"pair*"}, QDir::Files))
        ProgramRun::Run(ProgramRun::BuiltProgram("lumetra-vcom"), {"remove", pair.mid(4)}, 10000, env);
}
