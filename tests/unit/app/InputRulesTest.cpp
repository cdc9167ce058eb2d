#include "app/InputRules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace InputRules;

// Each rule against what a hostile sender would try for the format the text goes
// into, and against the real texts that must keep passing.
TEST(InputRules, HostsArePlainAddressesOrNames)
{
    for (const char* good : {"127.0.0.1", "10.213.4.1", "::1", "fe80::1", "2001:db8::8a2e:370:7334", "vpn",
                             "vpn-1.example.com", "a.b.c", "xn--fiqs8s.example"}) {
        EXPECT_TRUE(IsHost(good)) << good;
    }
    const std::string longLabel(64, 'a');
    // 254 characters in labels of at most 63: one more than a name may have.
    const std::string longName = std::string(251, 'a').insert(63, ".").insert(127, ".").insert(191, ".");
    for (const std::string& bad :
         {std::string(""), std::string("127.0.0.1\nscript-security 2"), std::string("host 1194"),
          std::string("-host"), std::string("host-"), std::string("a..b"), std::string("host."),
          std::string("1.2.3.999"), std::string("1.2.3"), std::string("host\tname"), std::string("a_b"),
          std::string("[::1]"), std::string("10.0.0.1/8"), longLabel, longName, std::string("h\0st", 4),
          std::string("主机")}) {
        EXPECT_FALSE(IsHost(bad)) << Excerpt(bad);
    }
    EXPECT_TRUE(IsIpAddress("192.168.1.1"));
    EXPECT_FALSE(IsIpAddress("vpn.example.com"));
}

TEST(InputRules, PortsSerialsAndPcIdentifiers)
{
    EXPECT_TRUE(IsPort(1) && IsPort(1194) && IsPort(65535));
    EXPECT_FALSE(IsPort(0) || IsPort(-1) || IsPort(65536) || IsPort(1LL << 40));

    for (const char* good : {"LG2024000101", "DEV-5002", "GW 1", "a\"b"})
        EXPECT_TRUE(IsSerial(good)) << good;
    for (const std::string& bad :
         {std::string(""), std::string("+"), std::string("#"), std::string("GW/1"), std::string("GW\n1"),
          std::string(64, 'G'), std::string("网关"), std::string("G\0W", 3)}) {
        EXPECT_FALSE(IsSerial(bad)) << Excerpt(bad);
    }
    EXPECT_TRUE(IsSerial(std::string(kMaxSerialLength, 'G')));

    EXPECT_TRUE(IsPcId("17250000009876543210"));
    for (const std::string& bad :
         {std::string("1725000000987654321"), std::string("172500000098765432101"),
          std::string("1725000000987654321+"), std::string(5000, '7'), std::string("")}) {
        EXPECT_FALSE(IsPcId(bad)) << Excerpt(bad);
    }
}

TEST(InputRules, UserNamesAndStatusTextsAreOneCleanLine)
{
    for (const char* good : {"17250000009876543210", "alice", "张三", "o'brien smith", "user@example.com"})
        EXPECT_TRUE(IsUserName(good)) << good;
    for (const std::string& bad :
         {std::string(""), std::string("u\nscript-security 2\nup /bin/sh"), std::string("u\r"),
          std::string("u\x7f"), std::string("u\xc2\x85"),       // NEL, a C1 control
          std::string("\xff\xfe"), std::string("\xc0\xaf"),     // not UTF-8, overlong
          std::string("\xed\xa0\x80"), std::string("\xe4\xb8"), // surrogate, cut short
          std::string(kMaxUserNameLength + 1, 'u'), std::string("u\0x", 3)}) {
        EXPECT_FALSE(IsUserName(bad)) << Excerpt(bad);
    }
    EXPECT_TRUE(IsUserName(std::string(kMaxUserNameLength, 'u')));

    EXPECT_TRUE(IsStatusText("") && IsStatusText("-1") && IsStatusText("255.255.255.0"));
    EXPECT_FALSE(IsStatusText("31\n") || IsStatusText(std::string(kMaxStatusTextLength + 1, '1')));
}

TEST(InputRules, ExcerptsAreOneSafeShortLine)
{
    EXPECT_EQ(Excerpt("GW-1"), "GW-1");
    EXPECT_EQ(Excerpt(std::string("a\n\"\\\0\xff", 6)), "a\\x0A\\x22\\x5C\\x00\\xFF");
    EXPECT_EQ(Excerpt(std::string(100, 'x')), std::string(40, 'x') + "...");

    testing::internal::CaptureStderr();
    ReportDropped("message", "reason");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "dropped message: reason\n");
}

} // namespace
