// Starting, capturing, finding and ending real processes.

#include "NamedProcess.h"

#include "endpoint/VpnClientControl.h"
#include "platform/ProcessLauncher.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QThread>

#include <string>

#include <sys/wait.h>
#include <unistd.h>

namespace {

// `length` random lower-case letters, so parallel runs never share a process name.
QString RandomLetters(int length)
{
    QString letters;
    for (int i = 0; i < length; ++i)
        letters += QChar('a' + static_cast<char>(QRandomGenerator::global()->bounded(26)));
    return letters;
}

QString LinkTarget(const QString& path)
{
    return QFileInfo(path).symLinkTarget();
}

TEST(RunCommandCaptured, CollectsEverythingAChattyCommandWrites)
{
    TempDir dir;
    // Far more than a pipe holds, then a line on standard error.
    const std::optional<std::string> output = RunCommandCaptured(
        "yes 0123456789abcdef | head -c 1048576; echo on-stderr >&2", dir.Path().toStdString());
    ASSERT_TRUE(output.has_value());

    std::string expected;
    while (expected.size() < 1048576)
        expected += "0123456789abcdef\n";
    expected.resize(1048576);
    expected += "on-stderr\n";
    ASSERT_EQ(output->size(), expected.size());
    EXPECT_TRUE(*output == expected);
}

TEST(RunCommandCaptured, RunsInTheGivenFolder)
{
    TempDir dir;
    dir.Write("marker.txt", "x");
    const std::optional<std::string> output = RunCommandCaptured("pwd -P; ls", dir.Path().toStdString());
    ASSERT_TRUE(output.has_value());
    EXPECT_EQ(*output, QFileInfo(dir.Path()).canonicalFilePath().toStdString() + "\nmarker.txt\n");
}

TEST(RunCommandCaptured, SilentOrUnstartableCommandsGiveNothing)
{
    TempDir dir;
    EXPECT_FALSE(RunCommandCaptured("true", dir.Path().toStdString()).has_value());
    EXPECT_FALSE(RunCommandCaptured("echo never", dir.FilePath("missing-folder").toStdString()).has_value());

    // The shell starts but the program does not: its complaint is the output.
    const std::optional<std::string> output =
        RunCommandCaptured("no-such-program-here --flag", dir.Path().toStdString());
    ASSERT_TRUE(output.has_value());
    EXPECT_NE(output->find("no-such-program-here"), std::string::npos) << *output;

    const ProcessLauncher::Captured failed =
        ProcessLauncher::RunCaptured("echo out; exit 3", dir.Path().toStdString());
    EXPECT_TRUE(failed.started);
    EXPECT_EQ(failed.output, "out\n");
    ASSERT_TRUE(WIFEXITED(failed.exitStatus));
    EXPECT_EQ(WEXITSTATUS(failed.exitStatus), 3);
}

TEST(RunCommandCaptured, ReturnsWhenTheCommandEndsThoughAChildKeepsThePipe)
{
    TempDir dir;
    const QString name = "bg" + RandomLetters(10);
    ASSERT_TRUE(QFile::copy("/bin/sleep", dir.FilePath(name)));

    const std::optional<std::string> output =
        RunCommandCaptured("./" + name.toStdString() + " 300 & echo started", dir.Path().toStdString());

    // The background sleeper is still running: find and end it.
    QDeadlineTimer deadline(10000);
    int64_t sleeper = 0;
    while ((sleeper = FindProcessId(name.toUtf8().constData())) == 0 && !deadline.hasExpired())
        QThread::msleep(2);
    ASSERT_NE(sleeper, 0);
    EXPECT_TRUE(ProcessLauncher::Kill(sleeper));
    EXPECT_TRUE(ProcessLauncher::WaitGone(sleeper, 5000));

    ASSERT_TRUE(output.has_value());
    EXPECT_EQ(*output, "started\n");
}

TEST(RunCommand, StartsHiddenAndLeavesNoZombie)
{
    TempDir dir;
    NamedProcess process(dir.Path(), "hid" + RandomLetters(8));
    ASSERT_TRUE(process.IsUp());
    const int64_t pid = process.Pid();
    const QString fds = QString("/proc/%1/fd").arg(pid);

    // A session of its own (no terminal), nothing to read, nowhere to write, and
    // no descriptor of ours.
    EXPECT_EQ(getsid(static_cast<pid_t>(pid)), static_cast<pid_t>(pid));
    EXPECT_EQ(LinkTarget(fds + "/0"), "/dev/null");
    EXPECT_EQ(LinkTarget(fds + "/1"), "/dev/null");
    EXPECT_EQ(LinkTarget(fds + "/2"), "/dev/null");
    EXPECT_EQ(QDir(fds).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size(), 3);

    ASSERT_TRUE(ProcessLauncher::Kill(pid));
    EXPECT_TRUE(ProcessLauncher::WaitGone(pid, 5000));
    // Reaped, not left as a zombie: its /proc entry goes away.
    QDeadlineTimer deadline(5000);
    while (QFileInfo::exists(QString("/proc/%1").arg(pid)) && !deadline.hasExpired())
        QThread::msleep(2);
    EXPECT_FALSE(QFileInfo::exists(QString("/proc/%1").arg(pid)));
}

TEST(RunCommand, MissingFolderStartsNothing)
{
    TempDir dir;
    EXPECT_EQ(RunCommandIn("echo never", dir.FilePath("missing").toStdString()).processId, 0);

    // RunCommand works in the client's working folder, which does not exist here.
    const QByteArray previous = qgetenv("LUMETRA_HOME");
    const bool hadPrevious = qEnvironmentVariableIsSet("LUMETRA_HOME");
    qputenv("LUMETRA_HOME", QFile::encodeName(dir.Path()));
    EXPECT_EQ(RunCommand("echo never").processId, 0);
    if (hadPrevious)
        qputenv("LUMETRA_HOME", previous);
    else
        qunsetenv("LUMETRA_HOME");
}

TEST(FindProcessId, MatchesCaseSensitiveSubstringOfTheName)
{
    TempDir dir;
    const QString letters = RandomLetters(7);
    NamedProcess process(dir.Path(), "OpenVPN-" + letters);
    ASSERT_TRUE(process.IsUp());

    EXPECT_EQ(FindProcessId(("OpenVPN-" + letters).toUtf8().constData()), process.Pid());
    EXPECT_EQ(FindProcessId(("VPN-" + letters.left(3)).toUtf8().constData()), process.Pid());
    EXPECT_EQ(FindProcessId(("openvpn-" + letters).toUtf8().constData()), 0);
    EXPECT_EQ(FindProcessId(("OpenVPN-" + letters.toUpper()).toUtf8().constData()), 0);
    // Other clients may run, but this one is not found under the lower-case name.
    EXPECT_NE(FindProcessId("openvpn"), process.Pid());
    EXPECT_EQ(FindProcessId(nullptr), 0);
}

TEST(FindProcessId, NeverReportsTheCallerOrEndedProcesses)
{
    const std::vector<ProcessLauncher::Entry> all = ProcessLauncher::List();
    ASSERT_FALSE(all.empty());
    std::string ownName;
    for (size_t i = 0; i < all.size(); ++i) {
        if (i > 0) {
            EXPECT_LT(all[i - 1].pid, all[i].pid);
        }
        if (all[i].pid == getpid()) {
            ownName = all[i].name;
        }
    }
    ASSERT_FALSE(ownName.empty()) << "the list lacks this process";
    EXPECT_NE(FindProcessId(ownName.c_str()), static_cast<int64_t>(getpid()));

    TempDir dir;
    const QString name = "gone" + RandomLetters(8);
    int64_t pid = 0;
    {
        NamedProcess process(dir.Path(), name);
        ASSERT_TRUE(process.IsUp());
        pid = process.Pid();
        EXPECT_EQ(FindProcessId(name.toUtf8().constData()), pid);
    }
    EXPECT_FALSE(ProcessLauncher::IsRunning(pid));
    EXPECT_EQ(FindProcessId(name.toUtf8().constData()), 0);
}

TEST(ProcessLauncher, KillRefusesGroupsAndItself)
{
    EXPECT_FALSE(ProcessLauncher::Kill(0));
    EXPECT_FALSE(ProcessLauncher::Kill(-1));
    EXPECT_FALSE(ProcessLauncher::Kill(-static_cast<int64_t>(getpgrp())));
    EXPECT_FALSE(ProcessLauncher::Kill(getpid()));
    EXPECT_FALSE(ProcessLauncher::Kill(int64_t(1) << 40));
    EXPECT_TRUE(ProcessLauncher::IsRunning(getpid()));
    EXPECT_FALSE(ProcessLauncher::IsRunning(0));
}

} // namespace
