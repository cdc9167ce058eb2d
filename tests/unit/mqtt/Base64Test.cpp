// Base64 as bytes travel inside JSON: RFC 4648 vectors and the decoder's limits.

#include "mqtt-c/mqtt_base64.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Decode(const char* text, size_t maxChars)
{
    const std::vector<uint8_t> bytes = mqtt_base64_decode(text, maxChars);
    return std::string(bytes.begin(), bytes.end());
}

TEST(Base64, Rfc4648Vectors)
{
    const std::pair<std::string, std::string> vectors[] = {{"", ""},
                                                           {"f", "Zg=="},
                                                           {"fo", "Zm8="},
                                                           {"foo", "Zm9v"},
                                                           {"foob", "Zm9vYg=="},
                                                           {"fooba", "Zm9vYmE="},
                                                           {"foobar", "Zm9vYmFy"},
                                                           {"abc", "YWJj"}};
    for (const auto& [plain, encoded] : vectors) {
        EXPECT_EQ(mqtt_base64_encode(plain.data(), plain.size()), encoded) << plain;
        EXPECT_EQ(Decode(encoded.c_str(), encoded.size()), plain) << encoded;
    }
}

TEST(Base64, TwoBytesGiveFourCharactersEndingInPadding)
{
    const std::string encoded = mqtt_base64_encode("ab", 2);
    ASSERT_EQ(encoded.size(), 4u);
    EXPECT_EQ(encoded.back(), '=');
}

TEST(Base64, EveryByteValueRoundTrips)
{
    std::string bytes;
    for (int i = 0; i < 256; ++i) {
        bytes += static_cast<char>(i);
    }
    const std::string encoded = mqtt_base64_encode(bytes.data(), bytes.size());
    EXPECT_EQ(encoded.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
              std::string::npos);
    EXPECT_EQ(Decode(encoded.c_str(), encoded.size()), bytes);
}

TEST(Base64, DecodingStopsAtPaddingForeignCharacterAndLimit)
{
    // Whatever follows the first "=" is ignored.
    EXPECT_EQ(Decode("YWJj=Zm9v", 9), "abc");
    EXPECT_EQ(Decode("Zg==Zm9v", 8), "f");
    // A character outside the alphabet ends the text.
    EXPECT_EQ(Decode("Zm9v!YmFy", 9), "foo");
    EXPECT_EQ(Decode("Zm9v YmFy", 9), "foo");
    // At most the given number of characters is read.
    EXPECT_EQ(Decode("Zm9vYmFy", 4), "foo");
    EXPECT_EQ(Decode("Zm9vYmFy", 6), "foob");
    EXPECT_EQ(Decode("Zm9vYmFy", 0), "");
    // Missing padding still decodes the complete bytes; a lone character gives none.
    EXPECT_EQ(Decode("Zm8", 3), "fo");
    EXPECT_EQ(Decode("Zm9vY", 5), "foo");
    // A limit beyond the terminated text stops at its end.
    EXPECT_EQ(Decode("YWJj", 1000), "abc");
    EXPECT_EQ(Decode(nullptr, 10), "");
}

} // namespace
