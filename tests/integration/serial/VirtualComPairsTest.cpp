// Finding, listing and installing virtual COM pairs with the real pair tool, run from
// an install folder whose name has a space in it.

#include "PairFolder.h"
#include "PeerEnd.h"
#include "ScopedEnv.h"

#include "endpoint/VirtualComPairs.h"
#include "platform/MessageBox.h"
#include "support/MessageBoxRecorder.h"

#include <gtest/gtest.h>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool SystemInstallHoldsTool()
{
    struct stat info;
    return stat("/usr/lib/lumetra/lumetra-vcom", &info) == 0;
}

class VirtualComPairsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetVirtualComPairsForTest();
        ASSERT_TRUE(folder.IsValid());
        installFolder = folder.MakeDir("program folder");
        ASSERT_EQ(symlink(PairFolder::ToolPath().c_str(), (installFolder + "/lumetra-vcom").c_str()), 0);
        home = std::make_unique<ScopedEnv>("LUMETRA_HOME", installFolder);
    }
    void TearDown() override { ResetVirtualComPairsForTest(); }

    // Points the program folder at a folder without the tool.
    void RemoveTool()
    {
        home = std::make_unique<ScopedEnv>("LUMETRA_HOME", folder.MakeDir("empty program folder"));
    }

    static std::vector<const _virtual_com_half*> Halves()
    {
        std::vector<const _virtual_com_half*> halves;
        for (const _virtual_com_pair& pair : VirtualComPairList())
            halves.insert(halves.end(), pair.halves.begin(), pair.halves.end());
        return halves;
    }

    MessageBoxRecorder boxes;
    PairFolder folder;
    std::string installFolder;
    std::unique_ptr<ScopedEnv> home;
};

TEST_F(VirtualComPairsTest, FindsTheToolInTheProgramFolder)
{
    EXPECT_EQ(FindVirtualComFolder(), installFolder + "/");
}

TEST_F(VirtualComPairsTest, ListingGivesTheEndsOfAnInstalledPair)
{
    const PairFolder::Pair made = folder.Install();
    ASSERT_GE(made.comA, 1);

    ListVirtualComPairs();
    const std::vector<_virtual_com_pair>& pairs = VirtualComPairList();
    ASSERT_EQ(pairs.size(), 1u);
    EXPECT_EQ(pairs[0].number, made.number);
    ASSERT_EQ(pairs[0].halves.size(), 2u);
    EXPECT_EQ(pairs[0].halves[0]->name, "CNCA");
    EXPECT_EQ(pairs[0].halves[0]->com, made.comA);
    EXPECT_EQ(pairs[0].halves[1]->name, "CNCB");
    EXPECT_EQ(pairs[0].halves[1]->com, made.comB);

    _virtual_com_half* user = PickUserHalf();
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(user->com, made.comB);
    _virtual_com_half* program = PickProgramHalf(user->com);
    ASSERT_NE(program, nullptr);
    EXPECT_EQ(program->com, made.comA);
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(VirtualComPairsTest, ListingTwiceAddsTheSecondListingsEnds)
{
    const PairFolder::Pair made = folder.Install();
    ASSERT_GE(made.comA, 1);
    ListVirtualComPairs();
    ListVirtualComPairs();

    const std::vector<_virtual_com_pair>& pairs = VirtualComPairList();
    ASSERT_EQ(pairs.size(), 1u);
    ASSERT_EQ(pairs[0].halves.size(), 4u);
    EXPECT_EQ(PickUserHalf(), pairs[0].halves[3]);
    EXPECT_EQ(PickProgramHalf(made.comB), pairs[0].halves[0]);
}

TEST_F(VirtualComPairsTest, UserHalfComesFromTheLastOfTwoPairs)
{
    const PairFolder::Pair first = folder.Install();
    const PairFolder::Pair second = folder.Install();
    ASSERT_GE(second.comA, 1);
    ASSERT_NE(first.number, second.number);

    ListVirtualComPairs();
    ASSERT_EQ(VirtualComPairList().size(), 2u);
    ASSERT_EQ(Halves().size(), 4u);
    _virtual_com_half* user = PickUserHalf();
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(user->number, second.number);
    EXPECT_EQ(user->com, second.comB);
    ASSERT_NE(PickProgramHalf(first.comB), nullptr);
    EXPECT_EQ(PickProgramHalf(first.comB)->com, first.comA);
}

TEST_F(VirtualComPairsTest, MissingToolFolderShowsTheMissingDriverMessage)
{
    if (SystemInstallHoldsTool())
        GTEST_SKIP() << "/usr/lib/lumetra/ holds the tool on this machine";
    RemoveTool();
    EXPECT_EQ(FindVirtualComFolder(), "");

    ListVirtualComPairs();
    EXPECT_TRUE(VirtualComPairList().empty());
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, QString::fromUtf8("找不到串口，请确认是否安装正确"));
    EXPECT_EQ(boxes.Boxes()[0].caption, QStringLiteral("Lumetra"));
    EXPECT_EQ(boxes.Boxes()[0].style, MB_OK);

    // Ensuring a pair lists (message) and finds no tool to install with (message).
    EnsureVirtualComPair();
    EXPECT_EQ(boxes.Count(), 3u);
    EXPECT_TRUE(VirtualComPairList().empty());
    EXPECT_TRUE(folder.PairNumbers().empty()) << "nothing was installed";
}

TEST_F(VirtualComPairsTest, EnsureInstallsOnePairWhenNoneExists)
{
    EnsureVirtualComPair();

    EXPECT_EQ(folder.PairNumbers().size(), 1u);
    const std::vector<PairFolder::Pair> listed = folder.List();
    ASSERT_EQ(listed.size(), 1u);
    ASSERT_EQ(VirtualComPairList().size(), 1u);
    _virtual_com_half* user = PickUserHalf();
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(user->com, listed[0].comB);
    ASSERT_NE(PickProgramHalf(user->com), nullptr);
    EXPECT_EQ(PickProgramHalf(user->com)->com, listed[0].comA);
    EXPECT_EQ(boxes.Count(), 0u);

    // The user's end is a working port.
    PeerEnd end;
    EXPECT_TRUE(end.Open(folder.LinkPath(user->com)));
}

TEST_F(VirtualComPairsTest, EnsureKeepsAnExistingPair)
{
    const PairFolder::Pair made = folder.Install();
    ASSERT_GE(made.comA, 1);
    EnsureVirtualComPair();
    EXPECT_EQ(folder.PairNumbers(), std::vector<int>{made.number});
    ASSERT_EQ(VirtualComPairList().size(), 1u);
    EXPECT_EQ(PickUserHalf()->com, made.comB);
}

} // namespace
