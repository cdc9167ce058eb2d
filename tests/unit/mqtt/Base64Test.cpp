// Base64 as bytes travel inside JSON: RFC 4648 vectors and the decoder's limits.

#include "mqtt-c/mqtt_base64.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

std::string Decode(const char* text, size_t maxChars)
{
    const std::vector<uint8_t> bytes = mqtt_base64_decode(text, maxChars);
    return std::string(bytes.begin(), bytes.end());
}

TEST(Base64, VectorsAndEveryByteValueRoundTrip)
{
    const std::pair<std::string, std::string> vectors[] = {{"", ""},
                                                           {"f", "Zg=="},
                                                           {"fo", "Zm8="},
                                                           {"foo", "Zm9v"},
                                                           {"foob", "Zm9vYg=="},
                                                           {"fooba", "Zm9vYmE="},
                                                           {"foobar", "Zm9vYmFy"},
                                                           {"abc", "YWJj"},
                                                           {"ab", "YWI="}};
    for (const auto& [plain, encoded] : vectors) {
        EXPECT_EQ(mqtt_base64_encode(plain.data(), plain.size()), encoded) << plain;
        EXPECT_EQ(Decode(encoded.c_str(), encoded.size()), plain) << encoded;
    }
    std::string bytes;
    for (int i = 0; i < 256; ++i)
        bytes += static_cast<char>(i);
    const std::string encoded = mqtt_base64_encode(bytes.data(), bytes.size());
    EXPECT_EQ(encoded.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
              std::string::npos);
    EXPECT_EQ(Decode(encoded.c_str(), encoded.size()), bytes);
}

TEST(Base64, DecodingStopsAtPaddingForeignCharacterAndLimit)
{
    const std::tuple<const char*, size_t, const char*> cases[] = {
        {"YWJj=Zm9v", 9, "abc"}, {"Zg==Zm9v", 8, "f"},    // whatever follows the first "=" is ignored
        {"Zm9v!YmFy", 9, "foo"}, {"Zm9v YmFy", 9, "foo"}, // a character outside the alphabet ends the text
        {"Zm9vYmFy", 4, "foo"},  {"Zm9vYmFy", 6, "foob"}, {"Zm9vYmFy", 0, ""}, // at most `limit` characters
        {"Zm8", 3, "fo"},        {"Zm9vY", 5, "foo"}, // missing padding; a lone character gives nothing
        {"YWJj", 1000, "abc"},   {nullptr, 10, ""},   // the terminator ends a longer limit
    };
    for (const auto& [text, limit, plain] : cases)
        EXPECT_EQ(Decode(text, limit), plain) << (text ? text : "(null)") << " " << limit;
}

} // namespace
