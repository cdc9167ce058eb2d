// Finding, listing and installing virtual COM pairs with the real pair tool, run from
// an install folder whose name has a space in it.

#include "support/ScopedEnv.h"
#include "support/SerialEnd.h"
#include "support/VcomFolder.h"

#include "endpoint/VirtualComPairs.h"
#include "platform/ComPortNames.h"
#include "platform/MessageBox.h"
#include "support/MessageBoxRecorder.h"

#include <gtest/gtest.h>

#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class VirtualComPairsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.IsValid());
        ASSERT_EQ(symlink(VcomFolder::ToolPath().c_str(), (installFolder + "/lumetra-vcom").c_str()), 0);
    }

    // The user's end of `pairs`, and the program's end found from it.
    static std::pair<int, int> PickedEnds(const VirtualComPairs& pairs)
    {
        const _virtual_com_half* user = pairs.PickUserHalf();
        const _virtual_com_half* program = user != nullptr ? pairs.PickProgramHalf(user->com) : nullptr;
        return {user != nullptr ? user->com : -1, program != nullptr ? program->com : -1};
    }

    MessageBoxRecorder boxes;
    VcomFolder folder;
    VirtualComPairs comPairs;
    std::string installFolder = folder.MakeDir("program folder");
    ScopedEnv home{"LUMETRA_HOME", installFolder};
};

TEST_F(VirtualComPairsTest, MissingToolFolderShowsTheMissingDriverMessage)
{
    struct stat info;
    if (stat("/usr/lib/lumetra/lumetra-vcom", &info) == 0)
        GTEST_SKIP() << "/usr/lib/lumetra/ holds the tool on this machine";
    ScopedEnv empty("LUMETRA_HOME", folder.MakeDir("empty program folder"));
    EXPECT_EQ(FindVirtualComFolder(), "");

    comPairs.ListInstalled();
    EXPECT_TRUE(comPairs.Pairs().empty());
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, QString::fromUtf8("找不到串口，请确认是否安装正确"));
    EXPECT_EQ(boxes.Boxes()[0].caption, QStringLiteral("Lumetra"));
    EXPECT_EQ(boxes.Boxes()[0].style, platform::kMbOk);

    // Ensuring a pair lists (message) and finds no tool to install with (message).
    comPairs.Ensure();
    EXPECT_EQ(boxes.Count(), 3u);
    EXPECT_TRUE(comPairs.Pairs().empty());
    EXPECT_TRUE(folder.PairNumbers().empty()) << "nothing was installed";
}

// How listings add up and which ends are picked from several pairs: the listing
// parser's tests. Here: the real tool's listing gives the ends of the pair it made.
TEST_F(VirtualComPairsTest, EnsureInstallsOnePairWhenNoneExistsAndKeepsIt)
{
    EXPECT_EQ(FindVirtualComFolder(), installFolder + "/");
    comPairs.Ensure();
    const std::vector<int> numbers = folder.PairNumbers();
    EXPECT_EQ(numbers.size(), 1u);
    const std::vector<VcomFolder::Pair> listed = folder.List();
    ASSERT_EQ(listed.size(), 1u);
    ASSERT_EQ(comPairs.Pairs().size(), 1u);
    EXPECT_EQ(PickedEnds(comPairs), std::make_pair(listed[0].comB, listed[0].comA));
    EXPECT_EQ(boxes.Count(), 0u);
    SerialEnd end;
    EXPECT_TRUE(end.Open(folder.LinkPath(listed[0].comB))) << "the user's end is a working port";

    VirtualComPairs fresh;
    fresh.Ensure();
    EXPECT_EQ(folder.PairNumbers(), numbers) << "an existing pair is kept";
    EXPECT_EQ(PickedEnds(fresh), std::make_pair(listed[0].comB, listed[0].comA));
}

// Two tunnels, whether of one client or of two, never share a pair: the second lease
// installs a pair of its own, and a pair comes free again when its lease goes (also
// when its holder dies, since the lock is the kernel's).
TEST_F(VirtualComPairsTest, EveryLeaseGetsAPairNoOtherHoldsAndAFreedPairIsReused)
{
    VirtualComLease first = comPairs.LeaseFreePair();
    ASSERT_NE(first.lock, nullptr);
    ASSERT_NE(first.user, nullptr);
    ASSERT_NE(first.program, nullptr);
    EXPECT_EQ(first.user->number, first.program->number);

    VirtualComPairs otherClient;
    VirtualComLease second = otherClient.LeaseFreePair();
    ASSERT_NE(second.lock, nullptr);
    EXPECT_NE(second.lock->Number(), first.lock->Number());
    EXPECT_NE(second.user->com, first.user->com);
    EXPECT_EQ(folder.PairNumbers().size(), 2u);

    VirtualComLease third = comPairs.LeaseFreePair();
    ASSERT_NE(third.lock, nullptr);
    EXPECT_EQ(folder.PairNumbers().size(), 3u);
    const std::set<int> held{first.lock->Number(), second.lock->Number(), third.lock->Number()};
    EXPECT_EQ(held.size(), 3u);

    const int freed = second.lock->Number();
    second = VirtualComLease{};
    VirtualComLease again = comPairs.LeaseFreePair();
    ASSERT_NE(again.lock, nullptr);
    EXPECT_EQ(again.lock->Number(), freed) << "a freed pair is taken before a new one is made";
    EXPECT_EQ(folder.PairNumbers().size(), 3u);

    // A lock held by a process that ended is free at once.
    const pid_t child = fork();
    if (child == 0) {
        auto held_by_child = ComPairLock::TryTake(platform::VirtualComFolder(), 99);
        _exit(held_by_child != nullptr ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_NE(ComPairLock::TryTake(platform::VirtualComFolder(), 99), nullptr);
    EXPECT_EQ(boxes.Count(), 0u);
}

} // namespace
