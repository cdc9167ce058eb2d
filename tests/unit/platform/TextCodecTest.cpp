#include "platform/TextCodec.h"

#include <gtest/gtest.h>

using namespace platform::TextCodec;

TEST(TextCodec, Utf8AndWideRoundTrip)
{
    const std::string utf8 = "ab 中文 \xF0\xA0\x80\x80"; // the last character is a surrogate pair
    const QString wide = Utf8ToWide(utf8);
    EXPECT_EQ(wide, QStringLiteral("ab 中文 𠀀"));
    EXPECT_EQ(WideToUtf8(wide), utf8);
    EXPECT_EQ(WideToLocal(wide), utf8);
    EXPECT_EQ(LocalToWide(utf8), wide);
    EXPECT_EQ(Utf8ToWide(std::string("a\0b", 3)).size(), 3); // a zero byte does not end the text
    EXPECT_EQ(Utf8ToWide("a\xFF"
                         "b"),
              QString::fromUtf16(u"a\uFFFDb"));
}

TEST(TextCodec, LegacyTextIsUtf8WhenValidElseGb18030)
{
    for (const char* valid : {"", "plain ascii", "\xE4\xB8\xAD\xE6\x96\x87"})
        EXPECT_TRUE(IsValidUtf8(valid)) << valid;
    // GB18030 bytes, a cut character, an overlong form, an encoded surrogate, beyond U+10FFFF.
    for (const char* invalid :
         {"\xD6\xD0\xCE\xC4", "\xE4\xB8", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80"})
        EXPECT_FALSE(IsValidUtf8(invalid)) << invalid;
    EXPECT_EQ(LegacyToWide("\xE9\x80\x9A\xE9\x81\x93"), QStringLiteral("通道"));
    EXPECT_EQ(LegacyToWide("\xCD\xA8\xB5\xC0\xD5\xBC\xD3\xC3\xD6\xD0\xA3\xA1"),
              QStringLiteral("通道占用中！"));
    EXPECT_EQ(LegacyToWide("ok"), QStringLiteral("ok"));
}
