// lumetra-vcom against real pseudo-terminals and real processes, each test in its
// own virtual COM folder.

#include "support/ScopedUmask.h"
#include "support/SerialEnd.h"
#include "support/VcomFolder.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kIoTimeoutMs = 10000;

using Pair = VcomFolder::Pair;

class VcomToolTest : public ::testing::Test
{
protected:
    std::vector<Pair> Pairs(const std::vector<std::string>& args)
    {
        const VcomFolder::Result result = folder.Run(args);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return VcomFolder::PairsIn(result.out);
    }

    void OpenEnds(const Pair& pair, SerialEnd* a, SerialEnd* b)
    {
        ASSERT_TRUE(a->Open(folder.LinkPath(pair.comA))) << pair.comA;
        ASSERT_TRUE(b->Open(folder.LinkPath(pair.comB))) << pair.comB;
    }

    // Sends a distinct message each way and expects it whole on the other side.
    static void ExpectFlowBothWays(SerialEnd& a, SerialEnd& b, const std::string& tag)
    {
        ASSERT_TRUE(a.Write("to B " + tag, kIoTimeoutMs));
        EXPECT_EQ(b.Read(tag.size() + 5, kIoTimeoutMs), "to B " + tag);
        ASSERT_TRUE(b.Write("to A " + tag, kIoTimeoutMs));
        EXPECT_EQ(a.Read(tag.size() + 5, kIoTimeoutMs), "to A " + tag);
    }

    VcomFolder folder;
};

TEST_F(VcomToolTest, InstallLeavesOnePairOfLinkedEndsThatListShows)
{
    EXPECT_TRUE(Pairs({"list"}).empty());
    const Pair made = folder.Install();
    EXPECT_EQ(made.number, 0);
    EXPECT_TRUE(made.comA > 0 && made.comB > 0 && made.comA != made.comB);
    const VcomFolder::Result listed = folder.Run({"list"});
    EXPECT_NE(listed.out.find("CNCA0 PortName=COM#,RealPortName=COM"), std::string::npos) << listed.out;
    const std::vector<Pair> pairs = VcomFolder::PairsIn(listed.out);
    ASSERT_EQ(pairs.size(), 1u) << listed.out;
    EXPECT_EQ(pairs[0].number, 0);
    EXPECT_EQ(pairs[0].comA, made.comA);
    EXPECT_EQ(pairs[0].comB, made.comB);
    for (int com : {made.comA, made.comB}) {
        struct stat st;
        EXPECT_TRUE(lstat(folder.LinkPath(com).c_str(), &st) == 0 && S_ISLNK(st.st_mode));
        EXPECT_TRUE(stat(folder.LinkPath(com).c_str(), &st) == 0 && S_ISCHR(st.st_mode));
    }
    // The pair lives on in a holder of its own session, which hanging up the caller's
    // terminal does not end and which keeps none of the installer's streams (a caller
    // reading them to their end would wait for ever).
    const pid_t holder = folder.HolderPid(0);
    EXPECT_GT(holder, 0);
    EXPECT_EQ(kill(holder, 0), 0);
    EXPECT_NE(getsid(holder), getsid(0));
    for (int fd : {0, 1, 2}) {
        std::error_code error;
        const std::string target = std::filesystem::read_symlink(
            "/proc/" + std::to_string(holder) + "/fd/" + std::to_string(fd), error);
        EXPECT_EQ(target.rfind("pipe:", 0), std::string::npos) << fd << " " << target;
    }
}

TEST_F(VcomToolTest, BytesPassUnchangedBothWaysAcrossReopening)
{
    // Opened as-is, as by a program that leaves the line alone: nothing is echoed,
    // line ends and control bytes pass unchanged.
    const Pair pair = folder.Install();
    SerialEnd a, b;
    ASSERT_TRUE(a.OpenAsIs(folder.LinkPath(pair.comA)));
    ASSERT_TRUE(b.OpenAsIs(folder.LinkPath(pair.comB)));
    const std::string control("\r\n\x03\x04\x11\x13\x7f\0\n", 9);
    ASSERT_TRUE(a.Write(control, kIoTimeoutMs));
    EXPECT_EQ(b.Read(control.size(), kIoTimeoutMs), control);
    EXPECT_TRUE(a.Silent(100));
    ExpectFlowBothWays(a, b, "line\n");

    std::mt19937 gen(1);
    std::string toB(64 * 1024, '\0'), toA(64 * 1024, '\0'), gotA, gotB;
    std::generate(toB.begin(), toB.end(), [&] { return static_cast<char>(gen()); });
    std::generate(toA.begin(), toA.end(), [&] { return static_cast<char>(gen()); });
    ASSERT_TRUE(SerialEnd::Exchange(a, b, toB, toA, &gotA, &gotB, 30000))
        << "A got " << gotA.size() << ", B got " << gotB.size();
    EXPECT_TRUE(gotB == toB);
    EXPECT_TRUE(gotA == toA);

    // Closed ends can be opened again; bytes written meanwhile wait for the reader.
    b.Close();
    ASSERT_TRUE(a.Write("while closed", kIoTimeoutMs));
    ASSERT_TRUE(b.Open(folder.LinkPath(pair.comB)));
    EXPECT_EQ(b.Read(12, kIoTimeoutMs), "while closed");
    a.Close();
    b.Close();
    OpenEnds(pair, &a, &b);
    ExpectFlowBothWays(a, b, "after both reopened");
}

TEST_F(VcomToolTest, ConcurrentInstallsGetTheLowestFreeNumbersAndSeparateLines)
{
    QProcess runs[2]; // the folder is this process's LUMETRA_VCOM_DIR
    for (QProcess& run : runs)
        run.start(QString::fromStdString(VcomFolder::ToolPath()),
                  {"install", "PortName=COM#", "PortName=COM#"});
    for (QProcess& run : runs) {
        ASSERT_TRUE(run.waitForFinished(VcomFolder::kToolTimeoutMs));
        EXPECT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();
    }
    const std::vector<Pair> pairs = Pairs({"list"});
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0].number, 0);
    EXPECT_EQ(pairs[1].number, 1);
    std::vector<int> coms = {pairs[0].comA, pairs[0].comB, pairs[1].comA, pairs[1].comB};
    std::sort(coms.begin(), coms.end());
    EXPECT_EQ(coms, (std::vector<int>{1, 2, 3, 4}));

    SerialEnd a0, b0, a1, b1;
    OpenEnds(pairs[0], &a0, &b0);
    OpenEnds(pairs[1], &a1, &b1);
    ExpectFlowBothWays(a1, b1, "pair 1");
    EXPECT_TRUE(b0.Silent(100));
    EXPECT_TRUE(a0.Silent(0));
}

TEST_F(VcomToolTest, KilledHolderIsCleanedUpByListAndRemoveEndsTheHolder)
{
    folder.Install();
    folder.Install();
    const pid_t holder = folder.HolderPid(0);
    ASSERT_GT(holder, 0);
    ASSERT_EQ(kill(holder, SIGKILL), 0);
    ASSERT_TRUE(VcomFolder::WaitForExit(holder, kIoTimeoutMs));
    const std::vector<std::string> all = {"COM1", "COM2", "COM3", "COM4", "pair0", "pair1"};
    EXPECT_EQ(folder.Entries(), all);
    const std::vector<Pair> listed = Pairs({"list"});
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].number, 1);
    EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"COM3", "COM4", "pair1"}));

    // Remove ends the holder even with an end in use, and frees the numbers.
    const pid_t other = folder.HolderPid(1);
    SerialEnd inUse;
    ASSERT_TRUE(inUse.Open(folder.LinkPath(3)));
    Pairs({"remove", "1"});
    EXPECT_TRUE(VcomFolder::WaitForExit(other, kIoTimeoutMs));
    EXPECT_TRUE(folder.Entries().empty());
    const VcomFolder::Result again = folder.Run({"remove", "1"});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_NE(again.err.find("there is no pair 1"), std::string::npos) << again.err;
    const Pair fresh = folder.Install();
    EXPECT_EQ(fresh.number, 0);
    EXPECT_EQ(fresh.comA, 1);
    EXPECT_EQ(fresh.comB, 2);
}

// Nobody else may swap the links of our ports: the tool makes its folder 0700 and
// closes one it finds open to others.
TEST_F(VcomToolTest, FolderFoundOpenToOthersIsClosedToThem)
{
    EXPECT_TRUE(Pairs({"list"}).empty());
    EXPECT_EQ(ScopedUmask::ModeOf(folder.Path()), 0700);
    ASSERT_EQ(chmod(folder.Path().c_str(), 0777), 0);
    EXPECT_TRUE(Pairs({"list"}).empty());
    EXPECT_EQ(ScopedUmask::ModeOf(folder.Path()), 0700);
}

TEST_F(VcomToolTest, BadCommandLinesGiveAMessageTheUsageAndExitCode2)
{
    const struct
    {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{}, "no command given"},
        {{"frobnicate"}, "unknown command 'frobnicate'"},
        {{"list", "all"}, "list takes no arguments"},
        {{"install", "PortName=COM#"}, "install needs exactly two arguments"},
        {{"install", "PortName=COM#", "portname=com#"}, "'portname=com#' is not PortName=COM#"},
        {{"install", "PortName=COM256", "PortName=COM#"}, "'PortName=COM256'"},
        {{"install", "PortName=COM3", "PortName=COM3"}, "both ends cannot be COM3"},
        {{"remove", "-1"}, "'-1' is not a pair number"},
    };
    for (const auto& c : cases) {
        const VcomFolder::Result result = folder.Run(c.args);
        EXPECT_EQ(result.exitCode, 2) << c.message;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("usage: lumetra-vcom"), std::string::npos) << result.err;
        EXPECT_EQ(result.out, "");
    }
    EXPECT_TRUE(folder.Entries().empty());
    const VcomFolder::Result help = folder.Run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage: lumetra-vcom install PortName=COM# PortName=COM#"), std::string::npos);
}

} // namespace
