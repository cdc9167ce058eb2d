// The listing parser of the virtual COM pairs and the rules that pick a pair's ends.

#include "endpoint/VirtualComPairs.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

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

TEST(VirtualComLineParser, EndLinesAndCharacterByCharacterScan)
{
    // After "CNC": the last A or B names the end, digits form the number, other
    // characters are skipped and the first space ends the scan; after
    // "RealPortName=COM" every digit up to a line feed counts.
    const std::tuple<std::string, int, const char*, int, int> cases[] = {
        {"       CNCA0 PortName=COM#,RealPortName=COM3", 0, "CNCA", 3, 1},
        {"       CNCB12 PortName=COM#,RealPortName=COM147\r", 12, "CNCB", 147, 0},
        {"CNCx4A-2 9 RealPortName=COM5", 42, "CNCA", 5, 1},
        {"CNCAB3 RealPortName=COM5", 3, "CNCB", 5, 0},
        {"CNCB3 PortName=COM#,RealPortName=COM1,x2\nCOM9", 3, "CNCB", 12, 0},
        {std::string("CNCB") + '\0' + "\xff\x80" + "7 RealPortName=COM" + "\xfe" + "8" + '\0', 7, "CNCB", 8,
         0},
    };
    for (const auto& [line, number, name, com, isA] : cases) {
        bool ok = false;
        const _virtual_com_half half = Parse(line, &ok);
        ASSERT_TRUE(ok) << line;
        EXPECT_EQ(std::make_tuple(half.number, half.name, half.com, half.isA, half.listed),
                  std::make_tuple(number, name, com, isA, 1))
            << line;
    }
    // Hostile digit runs do not overflow into negative numbers.
    const std::string digits(400, '9');
    const _virtual_com_half half = Parse("CNCA" + digits + " RealPortName=COM" + digits);
    EXPECT_GE(half.number, 0);
    EXPECT_GE(half.com, 0);
}

TEST(VirtualComLineParser, SkipsLinesThatLackAMarker)
{
    for (const char* line :
         {"       CNCA1 PortName=COM#", "       CNC1 PortName=COM#,RealPortName=COM3",
          "       CNCA PortName=COM#,RealPortName=COM3", "       CNCA0 PortName=COM#,RealPortName=COM",
          "       CNCA0 PortName=COM#,RealPortName=3", "PortName=COM#,RealPortName=COM3", ""}) {
        bool ok = true;
        Parse(line, &ok);
        EXPECT_FALSE(ok) << line;
    }
    EXPECT_FALSE(ParseVirtualComLine("CNCA0 RealPortName=COM3", nullptr));
}

class VirtualComPairList : public ::testing::Test
{
protected:
    ::VirtualComPairs comPairs;
};

TEST_F(VirtualComPairList, OnePairFromItsTwoLines)
{
    comPairs.AddListing("       CNCA0 PortName=COM#,RealPortName=COM3\n"
                        "       CNCB0 PortName=COM#,RealPortName=COM4\n");
    const std::vector<_virtual_com_pair>& pairs = comPairs.Pairs();
    ASSERT_EQ(pairs.size(), 1u);
    EXPECT_EQ(pairs[0].number, 0);
    ASSERT_EQ(pairs[0].halves.size(), 2u);
    EXPECT_EQ(pairs[0].halves[0]->name, "CNCA");
    EXPECT_EQ(pairs[0].halves[1]->name, "CNCB");

    const _virtual_com_half* user = comPairs.PickUserHalf();
    const _virtual_com_half* program = comPairs.PickProgramHalf(4);
    ASSERT_TRUE(user != nullptr && program != nullptr);
    EXPECT_EQ(std::make_tuple(user->com, user->isA, program->com, program->isA), std::make_tuple(4, 0, 3, 1));
    EXPECT_EQ(comPairs.PickProgramHalf(3), program) << "either end's number finds the pair";
    EXPECT_EQ(comPairs.PickProgramHalf(5), nullptr);

    // Listing again adds to the same pair; earlier halves stay where they were.
    const _virtual_com_half* firstA = pairs[0].halves[0];
    comPairs.AddListing("       CNCA0 PortName=COM#,RealPortName=COM3\n"
                        "       CNCB0 PortName=COM#,RealPortName=COM4\n");
    ASSERT_EQ(pairs.size(), 1u);
    ASSERT_EQ(pairs[0].halves.size(), 4u);
    EXPECT_EQ(pairs[0].halves[0], firstA);
    EXPECT_EQ(comPairs.PickUserHalf(), pairs[0].halves[3]) << "the user half comes from the second listing";
    EXPECT_EQ(comPairs.PickProgramHalf(4), firstA) << "the program half is the pair's first CNCA end";
}

TEST_F(VirtualComPairList, PairsKeepTheOrderTheirNumberWasFirstSeen)
{
    comPairs.AddListing("CNCB7 RealPortName=COM8\n"
                        "CNCA2 RealPortName=COM3\n"
                        "CNCA7 RealPortName=COM9\n"
                        "ignored line\n"
                        "CNCB2 RealPortName=COM4");
    const std::vector<_virtual_com_pair>& pairs = comPairs.Pairs();
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0].number, 7);
    ASSERT_EQ(pairs[0].halves.size(), 2u);
    EXPECT_EQ(pairs[0].halves[0]->com, 8);
    EXPECT_EQ(pairs[0].halves[1]->com, 9);
    EXPECT_EQ(pairs[1].number, 2);
    EXPECT_EQ(comPairs.PickUserHalf()->com, 4) << "the last CNCB end in list order";
    EXPECT_EQ(comPairs.PickProgramHalf(8)->com, 9) << "the CNCA end listed after the CNCB end";
}

TEST_F(VirtualComPairList, NothingToPickWithoutTheRightEnds)
{
    for (const char* output : {"", "\n\n", "usage: something went wrong\nRealPortName but nothing else\n"})
        comPairs.AddListing(output);
    EXPECT_TRUE(comPairs.Pairs().empty());
    EXPECT_EQ(comPairs.PickUserHalf(), nullptr);
    EXPECT_EQ(comPairs.PickProgramHalf(1), nullptr);

    comPairs.AddListing("CNCA0 RealPortName=COM1\n");
    EXPECT_EQ(comPairs.PickUserHalf(), nullptr) << "only a CNCA end";
    comPairs.AddListing("CNCB3 RealPortName=COM7\n");
    EXPECT_EQ(comPairs.PickProgramHalf(7), nullptr) << "pair 3 has no CNCA end";

    // An end that was not listed is never offered.
    comPairs.Pairs()[1].halves[0]->listed = 0;
    EXPECT_EQ(comPairs.PickUserHalf(), nullptr);
}

} // namespace
