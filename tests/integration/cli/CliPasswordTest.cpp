// How lumetra-cli takes a password, as a real process against a real lumetra-farside
// on loopback: from standard input, from the command line (with a warning), and
// from a prompt on a real pseudo-terminal with echo off.

#include "CliFixture.h"
#include "support/ScopedUmask.h"

#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

const char kInventory[] = R"({"accounts":[
 {"userName":"alice","password":"secret","orgId":11,"newRoleId":3,"accountsId":4242,
  "gateways":[{"gwSn":"GW-A001","gwName":"One","nodeName":"Hall","isOnline":true,"devices":[]}]}]})";

const QString kWarning =
    QStringLiteral("lumetra-cli: warning: a password on the command line is visible to other users");

// lumetra-cli with a real pseudo-terminal as its controlling terminal and its
// standard input, output and error, as when started from an interactive shell.
class TerminalRun
{
public:
    ~TerminalRun()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (master_ >= 0)
            close(master_);
    }

    bool Start(const QStringList& args, const QString& home)
    {
        std::vector<std::string> words = {"/usr/bin/env", "LUMETRA_HOME=" + home.toStdString(),
                                          ProgramRun::BuiltProgram("lumetra-cli").toStdString()};
        for (const QString& arg : args)
            words.push_back(arg.toStdString());
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            execv(argv[0], argv.data());
            _exit(127);
        }
        return pid_ > 0;
    }

    // Reads what the program shows until `text` has appeared (true), the program
    // closed the terminal or the time ran out.
    bool ReadUntil(const QByteArray& text, int timeoutMs)
    {
        const qint64 deadline = Now() + timeoutMs;
        while (!output_.contains(text)) {
            pollfd pfd = {master_, POLLIN, 0};
            const qint64 left = deadline - Now();
            if (left <= 0 || poll(&pfd, 1, static_cast<int>(left)) <= 0)
                return false;
            char buffer[4096];
            const ssize_t n = read(master_, buffer, sizeof buffer);
            if (n <= 0)
                return false; // EIO: the program has closed the terminal
            output_.append(buffer, n);
        }
        return true;
    }

    // Reads everything up to the program's end and returns its wait status; -1 when it
    // had not ended in time.
    int Wait(int timeoutMs)
    {
        const qint64 deadline = Now() + timeoutMs;
        ReadUntil(QByteArray("\n-- never shown --"), timeoutMs);
        const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
        pollfd pfd = {pidfd, POLLIN, 0};
        const qint64 left = deadline - Now();
        int status = -1;
        if (pidfd >= 0 && poll(&pfd, 1, static_cast<int>(std::max<qint64>(left, 0))) == 1 &&
            waitpid(pid_, &status, 0) == pid_)
            pid_ = 0;
        if (pidfd >= 0)
            close(pidfd);
        return pid_ == 0 ? status : -1;
    }

    bool Type(const QByteArray& keys) { return write(master_, keys.data(), keys.size()) == keys.size(); }

    // Whether the terminal echoes what is typed (the master reports the terminal's settings).
    bool Echoes() const
    {
        termios settings{};
        return tcgetattr(master_, &settings) == 0 && (settings.c_lflag & ECHO) != 0;
    }

    const QByteArray& Output() const { return output_; }

private:
    static qint64 Now()
    {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    }

    pid_t pid_ = -1;
    int master_ = -1;
    QByteArray output_;
};

class CliPasswordTest : public CliFixture
{
protected:
    void StartFarside() { CliFixture::StartFarside(kInventory); }
};

TEST_F(CliPasswordTest, StandardInputSignsInAndACommandLinePasswordIsWarnedAbout)
{
    // Nothing narrows the modes the program asks for: the login cache it writes
    // must come out private by itself.
    const ScopedUmask wideOpen(0);
    StartFarside();
    const ProgramRun::Result piped = Cli({"login", "alice", "--password-stdin"}, "secret\n");
    ASSERT_EQ(piped.exitCode, 0) << piped.err.toStdString();
    EXPECT_TRUE(
        piped.out.contains(QRegularExpression("^userName +alice$", QRegularExpression::MultilineOption)))
        << piped.out.toStdString();
    EXPECT_FALSE(piped.err.contains("warning")) << piped.err.toStdString();
    EXPECT_EQ(ScopedUmask::ModeOf(home.FilePath("licache").toStdString()), 0600);

    // The same login with the password as an argument: the same standard output and
    // one warning line on standard error.
    const ProgramRun::Result argument = Cli({"login", "alice", "secret"});
    ASSERT_EQ(argument.exitCode, 0) << argument.err.toStdString();
    EXPECT_EQ(argument.out, piped.out);
    EXPECT_EQ(argument.err.count(kWarning), 1) << argument.err.toStdString();

    // The listing commands take it the same ways; a CR LF line end is removed too.
    const ProgramRun::Result listed =
        Cli({"gateways", "--user", "alice", "--password-stdin"}, "secret\r\nmore");
    ASSERT_EQ(listed.exitCode, 0) << listed.err.toStdString();
    EXPECT_TRUE(listed.out.contains("GW-A001")) << listed.out.toStdString();
    EXPECT_FALSE(listed.err.contains("warning"));
    const ProgramRun::Result listedArgument = Cli({"gateways", "--user", "alice", "--password", "secret"});
    EXPECT_EQ(listedArgument.out, listed.out);
    EXPECT_EQ(listedArgument.err.count(kWarning), 1) << listedArgument.err.toStdString();

    // An over-long line and an empty input are refused before the service is asked.
    const ProgramRun::Result tooLong =
        Cli({"login", "alice", "--password-stdin"}, QByteArray(2000, 'x') + "\n");
    EXPECT_EQ(tooLong.exitCode, 1);
    EXPECT_TRUE(tooLong.err.contains("the password from standard input is longer than 1024 bytes"))
        << tooLong.err.toStdString();
    EXPECT_TRUE(tooLong.out.isEmpty());
    const ProgramRun::Result empty = Cli({"login", "alice", "--password-stdin"});
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_EQ(empty.err.trimmed(), QString::fromUtf8("密码不能为空！"));
    EXPECT_EQ(farside.Output().count("Login user=\"alice\" flag=1"), 4) << farside.Output().toStdString();
    EXPECT_EQ(farside.Output().count("Login "), 4);
}

TEST_F(CliPasswordTest, PromptReadsWithoutEchoAndARememberedPasswordNeedsNone)
{
    StartFarside();
    TerminalRun prompted;
    ASSERT_TRUE(prompted.Start({"login", "alice", "--remember"}, home.Path()));
    ASSERT_TRUE(prompted.ReadUntil("Password for alice: ", 30000)) << prompted.Output().toStdString();
    EXPECT_FALSE(prompted.Echoes());
    ASSERT_TRUE(prompted.Type("secret\n"));
    EXPECT_EQ(prompted.Wait(30000), 0) << prompted.Output().toStdString();
    EXPECT_TRUE(prompted.Echoes());
    EXPECT_FALSE(prompted.Output().contains("secret")) << prompted.Output().toStdString();
    EXPECT_TRUE(prompted.Output().contains("remember   yes")) << prompted.Output().toStdString();

    // The same user's remembered password is used as it is: no prompt.
    TerminalRun remembered;
    ASSERT_TRUE(remembered.Start({"login", "alice"}, home.Path()));
    EXPECT_EQ(remembered.Wait(30000), 0) << remembered.Output().toStdString();
    EXPECT_FALSE(remembered.Output().contains("Password for")) << remembered.Output().toStdString();
    EXPECT_TRUE(remembered.Output().contains("remember   yes")) << remembered.Output().toStdString();
    EXPECT_EQ(farside.Output().count("Login user=\"alice\" flag=1"), 2) << farside.Output().toStdString();
}

TEST_F(CliPasswordTest, InterruptAtThePromptGivesTheTerminalItsEchoBack)
{
    TerminalRun run;
    ASSERT_TRUE(run.Start({"gateways", "--user", "alice"}, home.Path()));
    ASSERT_TRUE(run.ReadUntil("Password for alice: ", 30000)) << run.Output().toStdString();
    EXPECT_FALSE(run.Echoes());
    ASSERT_TRUE(run.Type("sec\x03"));
    const int status = run.Wait(30000);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    EXPECT_TRUE(run.Echoes());
}

} // namespace
