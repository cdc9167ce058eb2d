// lumetra-vcom against real pseudo-terminals and real processes, each test in its
// own virtual COM folder.

#include "ListedEnds.h"
#include "SerialEnd.h"
#include "ToolProcess.h"
#include "VcomTestFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <random>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kIoTimeoutMs = 10000;

struct Pair
{
    int number = -1;
    int comA = -1;
    int comB = -1;
};

std::string RandomBytes(size_t size, unsigned stream)
{
    std::mt19937 gen(stream);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string data(size, '\0');
    for (char& c : data)
        c = static_cast<char>(byte(gen));
    return data;
}

// The pairs named by list-style output, with both ends of each.
std::vector<Pair> PairsIn(const std::string& output)
{
    ListedEnds parsed;
    EXPECT_TRUE(parsed.Parse(output)) << output;
    std::vector<Pair> pairs;
    for (const ListedEnds::End& end : parsed.Ends()) {
        auto it =
            std::find_if(pairs.begin(), pairs.end(), [&](const Pair& p) { return p.number == end.pair; });
        if (it == pairs.end()) {
            pairs.push_back(Pair{end.pair, -1, -1});
            it = pairs.end() - 1;
        }
        (end.isA ? it->comA : it->comB) = end.com;
    }
    return pairs;
}

class VcomToolTest : public ::testing::Test
{
protected:
    // Installs one pair and returns what the tool says it made.
    Pair Install(const std::string& first = "PortName=COM#", const std::string& second = "PortName=COM#")
    {
        const VcomTestFolder::Result result = folder.Run({"install", first, second});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        const std::vector<Pair> made = PairsIn(result.out);
        EXPECT_EQ(made.size(), 1u) << result.out;
        return made.empty() ? Pair() : made[0];
    }

    std::vector<Pair> List()
    {
        const VcomTestFolder::Result result = folder.Run({"list"});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_TRUE(result.err.empty()) << result.err;
        return PairsIn(result.out);
    }

    // Opens both ends of `pair` through their links.
    void OpenEnds(const Pair& pair, SerialEnd* a, SerialEnd* b)
    {
        ASSERT_TRUE(a->Open(folder.LinkPath(pair.comA))) << folder.LinkPath(pair.comA);
        ASSERT_TRUE(b->Open(folder.LinkPath(pair.comB))) << folder.LinkPath(pair.comB);
    }

    // Sends a distinct message each way and expects it whole on the other side.
    void ExpectFlowBothWays(SerialEnd& a, SerialEnd& b, const std::string& tag)
    {
        const std::string toB = "to B " + tag;
        const std::string toA = "to A " + tag;
        ASSERT_TRUE(a.Write(toB, kIoTimeoutMs));
        EXPECT_EQ(b.Read(toB.size(), kIoTimeoutMs), toB);
        ASSERT_TRUE(b.Write(toA, kIoTimeoutMs));
        EXPECT_EQ(a.Read(toA.size(), kIoTimeoutMs), toA);
    }

    VcomTestFolder folder;
};

bool IsLinkToTerminal(const std::string& path)
{
    struct stat link;
    struct stat target;
    if (lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode) || stat(path.c_str(), &target) != 0)
        return false;
    return S_ISCHR(target.st_mode);
}

bool Exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

TEST_F(VcomToolTest, InstallThenListShowsTheTwoEndsOfOnePair)
{
    const Pair made = Install();
    EXPECT_EQ(made.number, 0);
    EXPECT_GT(made.comA, 0);
    EXPECT_GT(made.comB, 0);
    EXPECT_NE(made.comA, made.comB);
    EXPECT_TRUE(IsLinkToTerminal(folder.LinkPath(made.comA)));
    EXPECT_TRUE(IsLinkToTerminal(folder.LinkPath(made.comB)));

    const VcomTestFolder::Result listed = folder.Run({"list"});
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    ListedEnds ends;
    ASSERT_TRUE(ends.Parse(listed.out));
    ASSERT_EQ(ends.Ends().size(), 2u) << listed.out;
    // The "CNCA" end first, then the CNCB end, with the numbers the links carry.
    EXPECT_TRUE(ends.Ends()[0].isA);
    EXPECT_FALSE(ends.Ends()[1].isA);
    EXPECT_EQ(ends.Ends()[0].pair, made.number);
    EXPECT_EQ(ends.Ends()[1].pair, made.number);
    EXPECT_EQ(ends.Ends()[0].com, made.comA);
    EXPECT_EQ(ends.Ends()[1].com, made.comB);
    EXPECT_NE(listed.out.find("CNCA0 PortName=COM#,RealPortName=COM"), std::string::npos) << listed.out;

    // Listing changes nothing: a second listing says the same.
    EXPECT_EQ(folder.Run({"list"}).out, listed.out);
}

TEST_F(VcomToolTest, ListOfAnEmptyFolderPrintsNothing)
{
    const VcomTestFolder::Result result = folder.Run({"list"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "");
}

TEST_F(VcomToolTest, BytesWrittenToOneEndComeOutOfTheOther)
{
    const Pair pair = Install();
    SerialEnd a;
    SerialEnd b;
    OpenEnds(pair, &a, &b);
    ExpectFlowBothWays(a, b, "first");
    // Line ends and control bytes pass unchanged, nothing is echoed back.
    const std::string control("\r\n\x03\x04\x11\x13\x7f\0\n", 9);
    ASSERT_TRUE(a.Write(control, kIoTimeoutMs));
    EXPECT_EQ(b.Read(control.size(), kIoTimeoutMs), control);
    EXPECT_TRUE(a.Silent(100));
}

TEST_F(VcomToolTest, BurstsBothWaysArriveWholeAndInOrder)
{
    const Pair pair = Install();
    SerialEnd a;
    SerialEnd b;
    OpenEnds(pair, &a, &b);
    const std::string toB = RandomBytes(64 * 1024, 1);
    const std::string toA = RandomBytes(64 * 1024, 2);
    std::string gotA;
    std::string gotB;
    ASSERT_TRUE(SerialEnd::Exchange(a, b, toB, toA, &gotA, &gotB, 30000))
        << "A got " << gotA.size() << ", B got " << gotB.size();
    EXPECT_TRUE(gotB == toB);
    EXPECT_TRUE(gotA == toA);
}

TEST_F(VcomToolTest, BurstToAnEndOpenedLaterIsHeldUntilItReads)
{
    // The writer sends 64 KiB before the other end is open at all; the pair holds
    // the bytes back (the writer is made to wait) instead of dropping them.
    const Pair pair = Install();
    SerialEnd a;
    ASSERT_TRUE(a.Open(folder.LinkPath(pair.comA)));
    const std::string toB = RandomBytes(64 * 1024, 3);
    ASSERT_TRUE(a.Write(toB, kIoTimeoutMs));
    SerialEnd b;
    ASSERT_TRUE(b.Open(folder.LinkPath(pair.comB)));
    EXPECT_TRUE(b.Read(toB.size(), kIoTimeoutMs) == toB);
}

TEST_F(VcomToolTest, AnEndCanBeClosedAndReopened)
{
    const Pair pair = Install();
    SerialEnd a;
    SerialEnd b;
    OpenEnds(pair, &a, &b);
    ExpectFlowBothWays(a, b, "before");

    b.Close();
    ASSERT_TRUE(a.Write("while closed", kIoTimeoutMs));
    ASSERT_TRUE(b.Open(folder.LinkPath(pair.comB)));
    EXPECT_EQ(b.Read(12, kIoTimeoutMs), "while closed");
    ExpectFlowBothWays(a, b, "after B reopened");

    a.Close();
    ASSERT_TRUE(a.Open(folder.LinkPath(pair.comA)));
    ExpectFlowBothWays(a, b, "after A reopened");

    // Both closed at once, then both back.
    a.Close();
    b.Close();
    OpenEnds(pair, &a, &b);
    ExpectFlowBothWays(a, b, "after both reopened");
}

TEST_F(VcomToolTest, EndsStartRawForProgramsThatLeaveTheLineAlone)
{
    // Opened as-is: nothing may be echoed back into the pair and line ends pass
    // unchanged.
    const Pair pair = Install();
    SerialEnd a;
    SerialEnd b;
    ASSERT_TRUE(a.OpenAsIs(folder.LinkPath(pair.comA)));
    ASSERT_TRUE(b.OpenAsIs(folder.LinkPath(pair.comB)));
    ASSERT_TRUE(a.Write("ping\n", kIoTimeoutMs));
    EXPECT_EQ(b.Read(5, kIoTimeoutMs), "ping\n");
    ASSERT_TRUE(b.Write("pong\n", kIoTimeoutMs));
    // An echo of "ping" would arrive first.
    EXPECT_EQ(a.Read(5, kIoTimeoutMs), "pong\n");
}

TEST_F(VcomToolTest, EndOwnedByASessionThatEndedStillWorks)
{
    // A program that opens its end as a session leader makes it its controlling
    // terminal; the pair must carry on after that session ends.
    const Pair pair = Install();
    const std::string pathB = folder.LinkPath(pair.comB);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setsid();
        const int fd = open(pathB.c_str(), O_RDWR); // no O_NOCTTY: becomes the controlling terminal
        _exit(fd >= 0 && tcgetsid(fd) == getpid() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    SerialEnd a;
    SerialEnd b;
    OpenEnds(pair, &a, &b);
    ExpectFlowBothWays(a, b, "after the session");
}

TEST_F(VcomToolTest, EndRecoversFromAHangUp)
{
    // A hang-up (TIOCVHANGUP) cuts every open descriptor of the end, the pair's own
    // included, and resets the line to echoing. Afterwards the end must work as
    // before for programs that leave the line alone.
    const Pair pair = Install();
    {
        SerialEnd victim;
        ASSERT_TRUE(victim.OpenAsIs(folder.LinkPath(pair.comB)));
        if (ioctl(victim.Fd(), TIOCVHANGUP) != 0)
            GTEST_SKIP() << "hanging up a terminal needs CAP_SYS_ADMIN: " << std::strerror(errno);
    }
    SerialEnd a;
    SerialEnd b;
    ASSERT_TRUE(a.OpenAsIs(folder.LinkPath(pair.comA)));
    ASSERT_TRUE(b.OpenAsIs(folder.LinkPath(pair.comB)));
    ASSERT_TRUE(a.Write("ping\n", kIoTimeoutMs));
    EXPECT_EQ(b.Read(5, kIoTimeoutMs), "ping\n");
    ASSERT_TRUE(b.Write("pong\n", kIoTimeoutMs));
    EXPECT_EQ(a.Read(5, kIoTimeoutMs), "pong\n");
    termios tio;
    ASSERT_EQ(tcgetattr(b.Fd(), &tio), 0);
    EXPECT_EQ(tio.c_lflag & (ECHO | ICANON), 0u);
}

TEST_F(VcomToolTest, PairsGetTheLowestFreeNumbers)
{
    const Pair first = Install();
    const Pair second = Install();
    EXPECT_EQ(first.number, 0);
    EXPECT_EQ(second.number, 1);
    EXPECT_EQ(first.comA, 1);
    EXPECT_EQ(first.comB, 2);
    EXPECT_EQ(second.comA, 3);
    EXPECT_EQ(second.comB, 4);

    // The two pairs are separate lines.
    SerialEnd a0, b0, a1, b1;
    OpenEnds(first, &a0, &b0);
    OpenEnds(second, &a1, &b1);
    ExpectFlowBothWays(a1, b1, "pair 1");
    EXPECT_TRUE(b0.Silent(100));
    EXPECT_TRUE(a0.Silent(0));

    // A number freed by a removal is handed out again.
    a0.Close();
    b0.Close();
    ASSERT_EQ(folder.Run({"remove", "0"}).exitCode, 0);
    const Pair again = Install();
    EXPECT_EQ(again.number, 0);
    EXPECT_EQ(again.comA, 1);
    EXPECT_EQ(again.comB, 2);

    const std::vector<Pair> listed = List();
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].number, 0);
    EXPECT_EQ(listed[1].number, 1);
}

TEST_F(VcomToolTest, FixedComNumbersAreHonouredAndNotGivenTwice)
{
    const Pair fixed = Install("PortName=COM7", "PortName=COM#");
    EXPECT_EQ(fixed.comA, 7);
    EXPECT_EQ(fixed.comB, 1);
    EXPECT_TRUE(IsLinkToTerminal(folder.LinkPath(7)));

    const Pair other = Install("PortName=COM#", "PortName=COM2");
    EXPECT_EQ(other.comA, 3);
    EXPECT_EQ(other.comB, 2);

    const VcomTestFolder::Result taken = folder.Run({"install", "PortName=COM#", "PortName=COM7"});
    EXPECT_EQ(taken.exitCode, 1);
    EXPECT_NE(taken.err.find("COM7 is already in use"), std::string::npos) << taken.err;
    EXPECT_EQ(List().size(), 2u);
}

TEST_F(VcomToolTest, ConcurrentInstallsGetDistinctNumbers)
{
    constexpr int kInstalls = 4;
    std::vector<std::unique_ptr<ToolProcess>> runs;
    for (int i = 0; i < kInstalls; ++i) {
        runs.push_back(std::make_unique<ToolProcess>());
        ASSERT_TRUE(runs.back()->Start(VcomTestFolder::ToolPath(),
                                       {"install", "PortName=COM#", "PortName=COM#"}, folder.Env()));
    }
    std::vector<int> pairNumbers;
    std::vector<int> coms;
    for (auto& run : runs) {
        ASSERT_TRUE(run->Finish(VcomTestFolder::kToolTimeoutMs));
        ASSERT_EQ(run->ExitCode(), 0) << run->Err();
        const std::vector<Pair> made = PairsIn(run->Out());
        ASSERT_EQ(made.size(), 1u);
        pairNumbers.push_back(made[0].number);
        coms.push_back(made[0].comA);
        coms.push_back(made[0].comB);
    }
    std::sort(pairNumbers.begin(), pairNumbers.end());
    std::sort(coms.begin(), coms.end());
    EXPECT_EQ(pairNumbers, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(coms, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(List().size(), 4u);
}

TEST_F(VcomToolTest, RemoveEndsTheHolderAndRemovesTheLinks)
{
    const Pair pair = Install();
    const pid_t holder = folder.HolderPid(pair.number);
    ASSERT_GT(holder, 0);
    SerialEnd a;
    ASSERT_TRUE(a.Open(folder.LinkPath(pair.comA)));

    const VcomTestFolder::Result removed = folder.Run({"remove", std::to_string(pair.number)});
    EXPECT_EQ(removed.exitCode, 0) << removed.err;
    EXPECT_TRUE(VcomTestFolder::WaitForExit(holder, kIoTimeoutMs));
    EXPECT_FALSE(Exists(folder.LinkPath(pair.comA)));
    EXPECT_FALSE(Exists(folder.LinkPath(pair.comB)));
    EXPECT_TRUE(folder.Entries().empty());
    EXPECT_TRUE(List().empty());

    const VcomTestFolder::Result again = folder.Run({"remove", std::to_string(pair.number)});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_NE(again.err.find("there is no pair 0"), std::string::npos) << again.err;
}

TEST_F(VcomToolTest, KilledHolderIsCleanedUpByTheNextListOrInstall)
{
    const Pair first = Install();
    const Pair second = Install();
    const pid_t holder = folder.HolderPid(first.number);
    ASSERT_GT(holder, 0);
    ASSERT_EQ(kill(holder, SIGKILL), 0);
    ASSERT_TRUE(VcomTestFolder::WaitForExit(holder, kIoTimeoutMs));

    // The dead pair's files are still there until someone looks.
    EXPECT_TRUE(Exists(folder.LinkPath(first.comA)));
    const std::vector<Pair> listed = List();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].number, second.number);
    EXPECT_FALSE(Exists(folder.LinkPath(first.comA)));
    EXPECT_FALSE(Exists(folder.LinkPath(first.comB)));
    EXPECT_FALSE(Exists(folder.Path() + "/pair0"));

    // Kill the other one too: install alone cleans up and reuses the numbers.
    const pid_t other = folder.HolderPid(second.number);
    ASSERT_EQ(kill(other, SIGKILL), 0);
    ASSERT_TRUE(VcomTestFolder::WaitForExit(other, kIoTimeoutMs));
    const Pair fresh = Install();
    EXPECT_EQ(fresh.number, 0);
    EXPECT_EQ(fresh.comA, 1);
    EXPECT_EQ(fresh.comB, 2);
    EXPECT_EQ(List().size(), 1u);
}

TEST_F(VcomToolTest, PairOutlivesTheInstallingProcess)
{
    ToolProcess install;
    ASSERT_TRUE(install.Start(VcomTestFolder::ToolPath(), {"install", "PortName=COM#", "PortName=COM#"},
                              folder.Env()));
    const pid_t installPid = install.Pid();
    // Finish() returns only once the tool closed its output and was reaped: the
    // holder keeps none of the caller's streams.
    ASSERT_TRUE(install.Finish(VcomTestFolder::kToolTimeoutMs));
    ASSERT_EQ(install.ExitCode(), 0) << install.Err();
    const std::vector<Pair> made = PairsIn(install.Out());
    ASSERT_EQ(made.size(), 1u);

    const pid_t holder = folder.HolderPid(made[0].number);
    ASSERT_GT(holder, 0);
    EXPECT_NE(holder, installPid);
    EXPECT_EQ(kill(holder, 0), 0);
    // Its own session: hanging up the caller's terminal does not end it.
    EXPECT_NE(getsid(holder), getsid(0));

    SerialEnd a;
    SerialEnd b;
    OpenEnds(made[0], &a, &b);
    ExpectFlowBothWays(a, b, "after install ended");
}

TEST_F(VcomToolTest, HolderEndsCleanlyOnSigterm)
{
    const Pair pair = Install();
    const pid_t holder = folder.HolderPid(pair.number);
    ASSERT_GT(holder, 0);
    ASSERT_EQ(kill(holder, SIGTERM), 0);
    ASSERT_TRUE(VcomTestFolder::WaitForExit(holder, kIoTimeoutMs));
    // It removed its own links and state before ending.
    EXPECT_TRUE(folder.Entries().empty());
}

TEST_F(VcomToolTest, FolderFallsBackToTheRuntimeFolder)
{
    const std::string runtime = folder.Root() + "/runtime";
    ASSERT_EQ(mkdir(runtime.c_str(), 0700), 0);
    const std::map<std::string, std::string> env = {{"LUMETRA_VCOM_DIR", ""}, {"XDG_RUNTIME_DIR", runtime}};
    const VcomTestFolder::Result made = folder.Run({"install", "PortName=COM#", "PortName=COM#"}, env);
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const std::vector<Pair> pairs = PairsIn(made.out);
    ASSERT_EQ(pairs.size(), 1u);
    EXPECT_TRUE(IsLinkToTerminal(runtime + "/lumetra-vcom/COM" + std::to_string(pairs[0].comA)));
    EXPECT_EQ(folder.Run({"remove", "0"}, env).exitCode, 0);
    EXPECT_FALSE(Exists(runtime + "/lumetra-vcom/pair0"));
}

struct BadCommandLine
{
    std::string name; // names the case in the test list
    std::vector<std::string> args;
    std::string message;
};

void PrintTo(const BadCommandLine& line, std::ostream* os)
{
    *os << line.name;
}

class VcomBadArgumentsTest : public ::testing::TestWithParam<BadCommandLine>
{
protected:
    VcomTestFolder folder;
};

TEST_P(VcomBadArgumentsTest, GivesAMessageTheUsageAndExitCode2)
{
    const VcomTestFolder::Result result = folder.Run(GetParam().args);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find(GetParam().message), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("usage: lumetra-vcom"), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
    // Nothing was made.
    for (const std::string& name : folder.Entries())
        ADD_FAILURE() << "left " << name;
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, VcomBadArgumentsTest,
    ::testing::Values(
        BadCommandLine{"NoCommand", {}, "no command given"},
        BadCommandLine{"UnknownCommand", {"frobnicate"}, "unknown command 'frobnicate'"},
        BadCommandLine{"EmptyCommand", {""}, "unknown command ''"},
        BadCommandLine{"ListWithArgument", {"list", "all"}, "list takes no arguments"},
        BadCommandLine{"InstallWithoutArguments", {"install"}, "install needs exactly two arguments"},
        BadCommandLine{
            "InstallWithOneArgument", {"install", "PortName=COM#"}, "install needs exactly two arguments"},
        BadCommandLine{"InstallWithThreeArguments",
                       {"install", "PortName=COM#", "PortName=COM#", "PortName=COM#"},
                       "install needs exactly two arguments"},
        BadCommandLine{
            "InstallWithoutPortName", {"install", "COM#", "PortName=COM#"}, "'COM#' is not PortName=COM#"},
        BadCommandLine{"InstallInLowerCase",
                       {"install", "PortName=COM#", "portname=com#"},
                       "'portname=com#' is not PortName=COM#"},
        BadCommandLine{"InstallCom0", {"install", "PortName=COM0", "PortName=COM#"}, "'PortName=COM0'"},
        BadCommandLine{"InstallCom256", {"install", "PortName=COM256", "PortName=COM#"}, "'PortName=COM256'"},
        BadCommandLine{
            "InstallLeadingZero", {"install", "PortName=COM03", "PortName=COM#"}, "'PortName=COM03'"},
        BadCommandLine{"InstallNegative", {"install", "PortName=COM-1", "PortName=COM#"}, "'PortName=COM-1'"},
        BadCommandLine{"InstallSameNumberTwice",
                       {"install", "PortName=COM3", "PortName=COM3"},
                       "both ends cannot be COM3"},
        BadCommandLine{"RemoveWithoutNumber", {"remove"}, "remove needs exactly one argument"},
        BadCommandLine{"RemoveTwoNumbers", {"remove", "0", "1"}, "remove needs exactly one argument"},
        BadCommandLine{"RemoveWord", {"remove", "x"}, "'x' is not a pair number"},
        BadCommandLine{"RemoveNegative", {"remove", "-1"}, "'-1' is not a pair number"},
        BadCommandLine{"RemoveHugeNumber", {"remove", "99999999999"}, "'99999999999' is not a pair number"}),
    [](const ::testing::TestParamInfo<BadCommandLine>& info) { return info.param.name; });

TEST_F(VcomToolTest, HelpGoesToStandardOutput)
{
    const VcomTestFolder::Result result = folder.Run({"--help"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.out.find("usage: lumetra-vcom install PortName=COM# PortName=COM#"), std::string::npos);
}

TEST_F(VcomToolTest, UnusableFolderIsReported)
{
    // A plain file where the folder should be.
    const std::string file = folder.Root() + "/file";
    ASSERT_EQ(close(open(file.c_str(), O_CREAT | O_WRONLY, 0600)), 0);
    const VcomTestFolder::Result result =
        folder.Run({"install", "PortName=COM#", "PortName=COM#"}, {{"LUMETRA_VCOM_DIR", file}});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find(file), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
}

} // namespace
