// The pairs whose open success was shown: a pair is known by the first 63 bytes of
// the gateway serial and the first 131 of the device serial, each cut at a NUL byte.

#include "control/HandledOpenSet.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(HandledOpenSet, PairsAgreeingUpToTheLimitsAreOnePair)
{
    const std::string gw(63, 'g');
    const std::string dev(131, 'd');
    HandledOpenSet set;
    set.Add(gw + "-long-tail", dev + "-long-tail");
    EXPECT_TRUE(set.Contains(gw, dev));
    EXPECT_TRUE(set.Contains(gw + "x", dev + "y"));
    // One byte less on either side is another pair.
    EXPECT_FALSE(set.Contains(gw.substr(0, 62), dev));
    EXPECT_FALSE(set.Contains(gw, dev.substr(0, 130)));
    EXPECT_FALSE(set.Contains(gw.substr(0, 62) + "x", dev));

    // A NUL byte ends a serial; removal goes by the same key.
    set.Add(std::string("GW\0hidden", 9), "D1");
    EXPECT_TRUE(set.Contains("GW", std::string("D1\0x", 4)));
    set.Remove(gw + "other tail", dev);
    EXPECT_FALSE(set.Contains(gw, dev));
    EXPECT_TRUE(set.Contains("GW", "D1"));
    set.Remove("GW", "D1");
    EXPECT_FALSE(set.Contains("GW", "D1"));
}

} // namespace
