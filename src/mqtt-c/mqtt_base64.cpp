#include "mqtt-c/mqtt_base64.h"

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int DecodeChar(char c)
{
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    if (c == '+') {
        return 62;
    }
    if (c == '/') {
        return 63;
    }
    return -1;
}

} // namespace

std::string mqtt_base64_encode(const void* data, size_t length)
{
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    std::string text;
    text.reserve((length + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= length; i += 3) {
        const uint32_t group = (uint32_t(bytes[i]) << 16) | (uint32_t(bytes[i + 1]) << 8) | bytes[i + 2];
        text += kAlphabet[(group >> 18) & 0x3F];
        text += kAlphabet[(group >> 12) & 0x3F];
        text += kAlphabet[(group >> 6) & 0x3F];
        text += kAlphabet[group & 0x3F];
    }
    const size_t rest = length - i;
    if (rest == 1) {
        const uint32_t group = uint32_t(bytes[i]) << 16;
        text += kAlphabet[(group >> 18) & 0x3F];
        text += kAlphabet[(group >> 12) & 0x3F];
        text += "==";
    } else if (rest == 2) {
        const uint32_t group = (uint32_t(bytes[i]) << 16) | (uint32_t(bytes[i + 1]) << 8);
        text += kAlphabet[(group >> 18) & 0x3F];
        text += kAlphabet[(group >> 12) & 0x3F];
        text += kAlphabet[(group >> 6) & 0x3F];
        text += '=';
    }
    return text;
}

std::vector<uint8_t> mqtt_base64_decode(const char* text, size_t maxChars)
{
    std::vector<uint8_t> bytes;
    if (text == nullptr) {
        return bytes;
    }
    bytes.reserve(maxChars / 4 * 3 + 3);
    uint32_t group = 0;
    int filled = 0;
    for (size_t i = 0; i < maxChars; ++i) {
        const int value = DecodeChar(text[i]);
        if (value < 0) {
            break; // "=", a terminating zero or any foreign character
        }
        group = (group << 6) | static_cast<uint32_t>(value);
        if (++filled == 4) {
            bytes.push_back(static_cast<uint8_t>(group >> 16));
            bytes.push_back(static_cast<uint8_t>(group >> 8));
            bytes.push_back(static_cast<uint8_t>(group));
            group = 0;
            filled = 0;
        }
    }
    if (filled == 2) {
        bytes.push_back(static_cast<uint8_t>(group >> 4));
    } else if (filled == 3) {
        bytes.push_back(static_cast<uint8_t>(group >> 10));
        bytes.push_back(static_cast<uint8_t>(group >> 2));
    }
    return bytes;
}
