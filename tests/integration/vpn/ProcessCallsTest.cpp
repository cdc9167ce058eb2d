// Starting, capturing, finding and ending real processes. Ending with SIGTERM, and
// SIGKILL after the grace period, is checked through StopVpnClients (VpnClientTest).

#include "endpoint/VpnClientControl.h"
#include "support/NamedProcess.h"
#include "support/OpenVpnStandIn.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QThread>

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

    // The shell starts but the program does not: its complaint is the output.
    const std::optional<std::string> output =
        RunCommandCaptured("no-such-program-here --flag", dir.Path().toStdString());
    ASSERT_TRUE(output.has_value());
    EXPECT_NE(output->find("no-such-program-here"), std::string::npos) << *output;

    const platform::ProcessLauncher::Captured failed =
        platform::ProcessLauncher::RunCaptured("echo out; exit 3", dir.Path().toStdString());
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
    while (sleeper == 0 && !deadline.hasExpired()) {
        for (const platform::ProcessLauncher::Entry& entry : platform::ProcessLauncher::List())
            sleeper = entry.name == name.toStdString() ? entry.pid : sleeper;
    }
    ASSERT_NE(sleeper, 0);
    EXPECT_TRUE(platform::ProcessLauncher::Kill(sleeper));
    EXPECT_TRUE(platform::ProcessLauncher::WaitGone(sleeper, 5000));
    EXPECT_EQ(output, std::optional<std::string>("started\n"));
}

// The clock ticks since boot now, as /proc/uptime gives them.
uint64_t TicksSinceBoot()
{
    QFile uptime("/proc/uptime");
    if (!uptime.open(QIODevice::ReadOnly))
        return 0;
    const double seconds = QString::fromLatin1(uptime.readAll()).section(' ', 0, 0).toDouble();
    return static_cast<uint64_t>(seconds * static_cast<double>(sysconf(_SC_CLK_TCK))) + 1;
}

TEST(ProcessLauncher, StartProgramRunsTheProgramItselfWithItsArgumentsAsGiven)
{
    TempDir dir;
    const QString bin = dir.MakeDir("bin");
    const QString work = dir.MakeDir("work");
    OpenVpnStandIn standIn(bin, OpenVpnStandIn::OnTerm::Exit, "si-" + RandomLetters(8));

    // Words a shell would split, expand or run reach the program unchanged.
    const std::vector<std::string> arguments = {"--config", "a b", "$(touch pwned)", "; touch pwned2", "'q'",
                                                "*",        ""};
    const int64_t pid =
        platform::ProcessLauncher::StartProgram(standIn.Name().toStdString(), arguments, work.toStdString());
    ASSERT_NE(pid, 0);
    const QStringList record = standIn.WaitForRecord();
    const QStringList expected = {QString::number(pid),
                                  "--config",
                                  "a b",
                                  "$(touch pwned)",
                                  "; touch pwned2",
                                  "'q'",
                                  "*",
                                  "",
                                  QFileInfo(work).canonicalFilePath()};
    EXPECT_EQ(record, expected);
    // The id is the program's own, not that of a shell around it.
    EXPECT_EQ(KernelNameOf(pid), standIn.Name().toStdString());
    EXPECT_FALSE(QFileInfo::exists(work + "/pwned"));
    EXPECT_FALSE(QFileInfo::exists(work + "/pwned2"));
    EXPECT_EQ(platform::ProcessLauncher::End(pid, platform::ProcessLauncher::StartTime(pid), 5000, 1000),
              platform::ProcessLauncher::EndResult::Ended);

    // Nothing to run, nowhere to run it: no process.
    EXPECT_EQ(platform::ProcessLauncher::StartProgram("no-such-program-" + RandomLetters(8).toStdString(), {},
                                                      work.toStdString()),
              0);
    EXPECT_EQ(platform::ProcessLauncher::StartProgram(standIn.Name().toStdString(), {},
                                                      dir.FilePath("missing").toStdString()),
              0);
    EXPECT_EQ(platform::ProcessLauncher::StartProgram("", {}, work.toStdString()), 0);
}

TEST(ProcessLauncher, StartTimeAndNameIdentifyAProcessWhateverItsName)
{
    TempDir dir;
    // Parentheses and spaces in the name must not shift the fields of /proc/<pid>/stat.
    const QString name = ") 1 2 (" + RandomLetters(4);
    ASSERT_TRUE(QFile::copy("/bin/sleep", dir.FilePath(name)));
    const int64_t pid =
        platform::ProcessLauncher::StartProgram(dir.FilePath(name).toStdString(), {"300"}, "");
    ASSERT_NE(pid, 0);
    const uint64_t started = platform::ProcessLauncher::StartTime(pid);
    // After this test program started and not after now: field 22, not a neighbour.
    EXPECT_GE(started, platform::ProcessLauncher::StartTime(getpid()));
    EXPECT_LE(started, TicksSinceBoot());
    EXPECT_EQ(platform::ProcessLauncher::StartTime(pid), started);
    EXPECT_EQ(platform::ProcessLauncher::NameOf(pid), name.toStdString());

    // Another start time is another process: it is left alone.
    EXPECT_EQ(platform::ProcessLauncher::End(pid, started + 1, 5000, 1000),
              platform::ProcessLauncher::EndResult::NotRunning);
    EXPECT_TRUE(platform::ProcessLauncher::IsRunning(pid));
    EXPECT_EQ(platform::ProcessLauncher::End(pid, started, 5000, 1000),
              platform::ProcessLauncher::EndResult::Ended);
    EXPECT_EQ(platform::ProcessLauncher::StartTime(pid), 0u);
    EXPECT_EQ(platform::ProcessLauncher::End(pid, started, 5000, 1000),
              platform::ProcessLauncher::EndResult::NotRunning);
    // Never the calling process, never nothing.
    EXPECT_EQ(
        platform::ProcessLauncher::End(getpid(), platform::ProcessLauncher::StartTime(getpid()), 100, 100),
        platform::ProcessLauncher::EndResult::NotRunning);
    EXPECT_EQ(platform::ProcessLauncher::End(0, started, 100, 100),
              platform::ProcessLauncher::EndResult::NotRunning);
    EXPECT_EQ(platform::ProcessLauncher::End(-1, started, 100, 100),
              platform::ProcessLauncher::EndResult::NotRunning);
}

TEST(ProcessLauncher, KillRefusesGroupsAndItself)
{
    EXPECT_FALSE(platform::ProcessLauncher::Kill(0));
    EXPECT_FALSE(platform::ProcessLauncher::Kill(-1));
    EXPECT_FALSE(platform::ProcessLauncher::Kill(-static_cast<int64_t>(getpgrp())));
    EXPECT_FALSE(platform::ProcessLauncher::Kill(getpid()));
    EXPECT_FALSE(platform::ProcessLauncher::Kill(int64_t(1) << 40));
    EXPECT_TRUE(platform::ProcessLauncher::IsRunning(getpid()));
}

} // namespace
