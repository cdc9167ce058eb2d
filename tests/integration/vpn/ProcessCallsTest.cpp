// Starting, capturing, finding and ending real processes.

#include "NamedProcess.h"

#include "support/TempDir.h"

#include <QFileInfo>

#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(RunCommandCaptured, CollectsEverythingAChattyCommandWritesInTheGivenFolder)
{
    TempDir dir;
    // Far more than a pipe holds, then a line on standard error.
    const std::optional<std::string> output = RunCommandCaptured(
        "pwd -P; yes 0123456789abcdef | head -c 1048576; echo on-stderr >&2", dir.Path().toStdString());
    ASSERT_TRUE(output.has_value());

    std::string expected;
    while (expected.size() < 1048576)
        expected += "0123456789abcdef\n";
    expected.resize(1048576);
    expected = QFileInfo(dir.Path()).canonicalFilePath().toStdString() + "\n" + expected + "on-stderr\n";
    ASSERT_EQ(output->size(), expected.size());
    EXPECT_TRUE(*output == expected);
}

TEST(RunCommandCaptured, SilentOrUnstartableCommandsGiveNothingOrTheComplaint)
{
    TempDir dir;
    EXPECT_FALSE(RunCommandCaptured("true", dir.Path().toStdString()).has_value());
    EXPECT_FALSE(RunCommandCaptured("echo never", dir.FilePath("missing").toStdString()).has_value());
    EXPECT_EQ(RunCommandIn("echo never", dir.FilePath("missing").toStdString()).processId, 0);

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
    EXPECT_EQ(output, std::optional<std::string>("started\n"));
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

TEST(ProcessLauncher, KillRefusesGroupsAndItself)
{
    EXPECT_FALSE(ProcessLauncher::Kill(0));
    EXPECT_FALSE(ProcessLauncher::Kill(-1));
    EXPECT_FALSE(ProcessLauncher::Kill(-static_cast<int64_t>(getpgrp())));
    EXPECT_FALSE(ProcessLauncher::Kill(getpid()));
    EXPECT_FALSE(ProcessLauncher::Kill(int64_t(1) << 40));
    EXPECT_TRUE(ProcessLauncher::IsRunning(getpid()));
}

} // namespace
