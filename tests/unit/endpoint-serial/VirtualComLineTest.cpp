// The listing parser of the virtual COM pairs and the rules that pick a pair's ends.

#include "endpoint/VirtualComPairs.h"

#include <gtest/gtest.h>

#include <string>

namespace {

_virtual_com_half Parse(const std::string& line, bool* ok = nullptr)
{
    _virtual_com_half half;
    half.number = -1;
    half.com = -1;
    const bool parsed = ParseVirtualComLine(line, &half);
    if (ok != nullptr)
        *ok = parsed;
    return half;
}

TEST(VirtualComLineParser, ReadsNameNumberAndComOfAnEndLine)
{
    bool ok = false;
    const _virtual_com_half a = Parse("       CNCA0 PortName=COM#,RealPortName=COM3", &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(a.number, 0);
    EXPECT_EQ(a.name, "CNCA");
    EXPECT_EQ(a.com, 3);
    EXPECT_EQ(a.isA, 1);
    EXPECT_EQ(a.listed, 1);
    EXPECT_EQ(a.serial, nullptr);

    const _virtual_com_half b = Parse("       CNCB12 PortName=COM#,RealPortName=COM147\r", &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(b.number, 12);
    EXPECT_EQ(b.name, "CNCB");
    EXPECT_EQ(b.com, 147);
    EXPECT_EQ(b.isA, 0);
}

TEST(VirtualComLineParser, SkipsLinesThatLackAMarker)
{
    bool ok = true;
    Parse("       CNCA1 PortName=COM#", &ok);
    EXPECT_FALSE(ok) << "no RealPortName";
    Parse("       CNC1 PortName=COM#,RealPortName=COM3", &ok);
    EXPECT_FALSE(ok) << "no A or B after CNC";
    Parse("       CNCA PortName=COM#,RealPortName=COM3", &ok);
    EXPECT_FALSE(ok) << "no pair number";
    Parse("       CNCA0 PortName=COM#,RealPortName=COM", &ok);
    EXPECT_FALSE(ok) << "no COM number";
    Parse("       CNCA0 PortName=COM#,RealPortName=3", &ok);
    EXPECT_FALSE(ok) << "RealPortName without =COM";
    Parse("PortName=COM#,RealPortName=COM3", &ok);
    EXPECT_FALSE(ok) << "no CNC";
    Parse("", &ok);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(ParseVirtualComLine("CNCA0 RealPortName=COM3", nullptr));
}

TEST(VirtualComLineParser, ScansCharacterByCharacter)
{
    // After "CNC": the last A or B names the end, digits form the number, other
    // characters are skipped, and the first space ends the scan.
    bool ok = false;
    _virtual_com_half half = Parse("CNCx4A-2 9 RealPortName=COM5", &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(half.name, "CNCA");
    EXPECT_EQ(half.number, 42);
    EXPECT_EQ(half.com, 5);

    half = Parse("CNCAB3 RealPortName=COM5", &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(half.name, "CNCB");
    EXPECT_EQ(half.isA, 0);

    // After "RealPortName=COM" every digit up to a line feed counts.
    half = Parse("CNCB3 PortName=COM#,RealPortName=COM1,x2\nCOM9", &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(half.com, 12);
}

TEST(VirtualComLineParser, SurvivesHostileLines)
{
    bool ok = false;
    const std::string digits(400, '9');
    const _virtual_com_half half = Parse("CNCA" + digits + " RealPortName=COM" + digits, &ok);
    ASSERT_TRUE(ok);
    EXPECT_GE(half.number, 0);
    EXPECT_GE(half.com, 0);

    std::string binary = std::string("CNCB") + '\0' + "\xff\x80" + "7 RealPortName=COM" + "\xfe" + "8" + '\0';
    const _virtual_com_half other = Parse(binary, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(other.number, 7);
    EXPECT_EQ(other.com, 8);
}

class VirtualComPairs : public ::testing::Test
{
protected:
    void SetUp() override { ResetVirtualComPairsForTest(); }
    void TearDown() override { ResetVirtualComPairsForTest(); }
};

TEST_F(VirtualComPairs, OnePairFromItsTwoLines)
{
    AddVirtualComListing("       CNCA0 PortName=COM#,RealPortName=COM3\n"
                         "       CNCB0 PortName=COM#,RealPortName=COM4\n");
    const std::vector<_virtual_com_pair>& pairs = VirtualComPairList();
    ASSERT_EQ(pairs.size(), 1u);
    EXPECT_EQ(pairs[0].number, 0);
    ASSERT_EQ(pairs[0].halves.size(), 2u);
    EXPECT_EQ(pairs[0].halves[0]->name, "CNCA");
    EXPECT_EQ(pairs[0].halves[1]->name, "CNCB");

    _virtual_com_half* user = PickUserHalf();
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(user->com, 4);
    EXPECT_EQ(user->isA, 0);
    _virtual_com_half* program = PickProgramHalf(user->com);
    ASSERT_NE(program, nullptr);
    EXPECT_EQ(program->com, 3);
    EXPECT_EQ(program->isA, 1);
    EXPECT_EQ(PickProgramHalf(3), program) << "either end's number finds the pair";
    EXPECT_EQ(PickProgramHalf(5), nullptr);
}

TEST_F(VirtualComPairs, ListingTwiceAddsToTheSamePairs)
{
    const std::string listing = "       CNCA0 PortName=COM#,RealPortName=COM3\n"
                                "       CNCB0 PortName=COM#,RealPortName=COM4\n";
    AddVirtualComListing(listing);
    const _virtual_com_half* firstA = VirtualComPairList()[0].halves[0];
    const _virtual_com_half* firstB = VirtualComPairList()[0].halves[1];
    AddVirtualComListing(listing);

    const std::vector<_virtual_com_pair>& pairs = VirtualComPairList();
    ASSERT_EQ(pairs.size(), 1u);
    ASSERT_EQ(pairs[0].halves.size(), 4u);
    EXPECT_EQ(pairs[0].halves[0], firstA) << "earlier halves stay where they were";
    EXPECT_EQ(pairs[0].halves[1], firstB);
    EXPECT_EQ(PickUserHalf(), pairs[0].halves[3]) << "the user half comes from the second listing";
    EXPECT_EQ(PickProgramHalf(4), firstA) << "the program half is the pair's first CNCA end";
}

TEST_F(VirtualComPairs, UserHalfComesFromThePairListedLast)
{
    AddVirtualComListing("       CNCA0 PortName=COM#,RealPortName=COM1\n"
                         "       CNCB0 PortName=COM#,RealPortName=COM2\n"
                         "       CNCA1 PortName=COM#,RealPortName=COM5\n"
                         "       CNCB1 PortName=COM#,RealPortName=COM6\n");
    const std::vector<_virtual_com_pair>& pairs = VirtualComPairList();
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0].number, 0);
    EXPECT_EQ(pairs[1].number, 1);

    _virtual_com_half* user = PickUserHalf();
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(user->number, 1);
    EXPECT_EQ(user->com, 6);
    ASSERT_NE(PickProgramHalf(6), nullptr);
    EXPECT_EQ(PickProgramHalf(6)->com, 5);
    ASSERT_NE(PickProgramHalf(2), nullptr);
    EXPECT_EQ(PickProgramHalf(2)->com, 1);
}

TEST_F(VirtualComPairs, PairsKeepTheOrderTheirNumberWasFirstSeen)
{
    AddVirtualComListing("CNCB7 RealPortName=COM8\n"
                         "CNCA2 RealPortName=COM3\n"
                         "CNCA7 RealPortName=COM9\n"
                         "ignored line\n"
                         "CNCB2 RealPortName=COM4");
    const std::vector<_virtual_com_pair>& pairs = VirtualComPairList();
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0].number, 7);
    ASSERT_EQ(pairs[0].halves.size(), 2u);
    EXPECT_EQ(pairs[0].halves[0]->com, 8);
    EXPECT_EQ(pairs[0].halves[1]->com, 9);
    EXPECT_EQ(pairs[1].number, 2);
    EXPECT_EQ(PickUserHalf()->com, 4) << "the last CNCB end in list order";
    EXPECT_EQ(PickProgramHalf(8)->com, 9) << "the CNCA end listed after the CNCB end";
}

TEST_F(VirtualComPairs, NothingToPickWithoutTheRightEnds)
{
    EXPECT_EQ(PickUserHalf(), nullptr);
    EXPECT_EQ(PickProgramHalf(1), nullptr);

    AddVirtualComListing("CNCA0 RealPortName=COM1\n");
    EXPECT_EQ(PickUserHalf(), nullptr) << "only a CNCA end";
    AddVirtualComListing("CNCB3 RealPortName=COM7\n");
    EXPECT_EQ(PickProgramHalf(7), nullptr) << "pair 3 has no CNCA end";

    // An end that was not listed is never offered.
    VirtualComPairList()[1].halves[0]->listed = 0;
    EXPECT_EQ(PickUserHalf(), nullptr);
}

TEST_F(VirtualComPairs, OutputWithoutEndsLeavesTheListEmpty)
{
    AddVirtualComListing("");
    AddVirtualComListing("\n\n");
    AddVirtualComListing("usage: something went wrong\nRealPortName but nothing else\n");
    EXPECT_TRUE(VirtualComPairList().empty());
}

} // namespace
