#include "platform/TextCodec.h"

#include <gtest/gtest.h>
#include <string>

TEST(TextCodec, Utf8AndWideRoundTrip)
{
    const std::string utf8 = "ab 中文 \xF0\xA0\x80\x80"; // includes a character outside the basic plane
    const QString wide = TextCodec::Utf8ToWide(utf8);
    EXPECT_EQ(wide, QStringLiteral("ab 中文 𠀀"));
    EXPECT_EQ(wide.size(), 8); // the last character is a surrogate pair
    EXPECT_EQ(TextCodec::WideToUtf8(wide), utf8);
    EXPECT_EQ(TextCodec::WideToLocal(wide), utf8);
    EXPECT_EQ(TextCodec::LocalToWide(utf8), wide);
    EXPECT_EQ(TextCodec::Utf8ToWide(std::string()), QString());
    // Embedded zero bytes are kept, not taken as the end of the text.
    EXPECT_EQ(TextCodec::Utf8ToWide(std::string("a\0b", 3)).size(), 3);
}

TEST(TextCodec, InvalidUtf8BecomesReplacementCharacters)
{
    const QString wide = TextCodec::Utf8ToWide("a\xFF"
                                               "b");
    EXPECT_EQ(wide, QString::fromUtf16(u"a\uFFFDb"));
}

TEST(TextCodec, Utf8Validity)
{
    EXPECT_TRUE(TextCodec::IsValidUtf8(""));
    EXPECT_TRUE(TextCodec::IsValidUtf8("plain ascii"));
    EXPECT_TRUE(TextCodec::IsValidUtf8("\xE4\xB8\xAD\xE6\x96\x87"));
    EXPECT_FALSE(TextCodec::IsValidUtf8("\xD6\xD0\xCE\xC4")); // GB18030 bytes
    EXPECT_FALSE(TextCodec::IsValidUtf8("\xE4\xB8"));         // cut in the middle of a character
    EXPECT_FALSE(TextCodec::IsValidUtf8("\xC0\xAF"));         // overlong form
    EXPECT_FALSE(TextCodec::IsValidUtf8("\xED\xA0\x80"));     // encoded surrogate
    EXPECT_FALSE(TextCodec::IsValidUtf8("\xF4\x90\x80\x80")); // beyond U+10FFFF
}

TEST(TextCodec, LegacyTextIsUtf8WhenValidElseGb18030)
{
    EXPECT_EQ(TextCodec::LegacyToWide("\xE9\x80\x9A\xE9\x81\x93"), QStringLiteral("通道"));
    EXPECT_EQ(TextCodec::LegacyToWide("\xCD\xA8\xB5\xC0\xD5\xBC\xD3\xC3\xD6\xD0\xA3\xA1"),
              QStringLiteral("通道占用中！"));
    EXPECT_EQ(TextCodec::LegacyToWide("ok"), QStringLiteral("ok"));
    EXPECT_EQ(TextCodec::LegacyToWide(""), QString());
}
