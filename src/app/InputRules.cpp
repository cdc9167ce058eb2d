#include "app/InputRules.h"

#include <arpa/inet.h>

#include <cstdio>

namespace InputRules {

namespace {

bool IsAsciiDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsAsciiLetterOrDigit(char c)
{
    return IsAsciiDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Valid UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF) without
// C0 or C1 control characters or DEL.
bool IsCleanUtf8(std::string_view text)
{
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            if (lead < 0x20 || lead == 0x7F) {
                return false;
            }
            ++i;
            continue;
        }
        size_t length = 0;
        unsigned long code = 0;
        unsigned long minimum = 0;
        if ((lead & 0xE0) == 0xC0) {
            length = 2;
            code = lead & 0x1F;
            minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            code = lead & 0x0F;
            minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            code = lead & 0x07;
            minimum = 0x10000;
        } else {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        for (size_t k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3F);
        }
        if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) ||
            (code >= 0x80 && code <= 0x9F)) {
            return false;
        }
        i += length;
    }
    return true;
}

bool IsHostLabel(std::string_view label)
{
    if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') {
        return false;
    }
    for (char c : label) {
        if (!IsAsciiLetterOrDigit(c) && c != '-') {
            return false;
        }
    }
    return true;
}

} // namespace

bool IsPcId(std::string_view text)
{
    if (text.size() != 20) {
        return false;
    }
    for (char c : text) {
        if (!IsAsciiDigit(c)) {
            return false;
        }
    }
    return true;
}

bool IsSerial(std::string_view text)
{
    if (text.empty() || text.size() > kMaxSerialLength) {
        return false;
    }
    for (char c : text) {
        if (c < 0x20 || c > 0x7E || c == '/' || c == '+' || c == '#') {
            return false;
        }
    }
    return true;
}

bool IsIpAddress(std::string_view text)
{
    if (text.empty() || text.size() >= INET6_ADDRSTRLEN) {
        return false;
    }
    const std::string copy(text);
    unsigned char buffer[sizeof(struct in6_addr)];
    return inet_pton(AF_INET, copy.c_str(), buffer) == 1 || inet_pton(AF_INET6, copy.c_str(), buffer) == 1;
}

bool IsHost(std::string_view text)
{
    if (IsIpAddress(text)) {
        return true;
    }
    if (text.empty() || text.size() > kMaxHostLength) {
        return false;
    }
    size_t start = 0;
    bool allDigitsAndDots = true;
    while (true) {
        const size_t dot = text.find('.', start);
        const std::string_view label =
            text.substr(start, dot == std::string_view::npos ? text.npos : dot - start);
        if (!IsHostLabel(label)) {
            return false;
        }
        for (char c : label) {
            allDigitsAndDots = allDigitsAndDots && IsAsciiDigit(c);
        }
        if (dot == std::string_view::npos) {
            break;
        }
        start = dot + 1;
    }
    // "1.2.3.999" is neither an address nor a name a resolver would look up.
    return !allDigitsAndDots;
}

bool IsPort(long long port)
{
    return port >= 1 && port <= 65535;
}

bool IsUserName(std::string_view text)
{
    return !text.empty() && text.size() <= kMaxUserNameLength && IsCleanUtf8(text);
}

bool IsStatusText(std::string_view text)
{
    return text.size() <= kMaxStatusTextLength && IsCleanUtf8(text);
}

std::string Excerpt(std::string_view text)
{
    constexpr size_t kShown = 40;
    std::string out;
    for (size_t i = 0; i < text.size() && i < kShown; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c > 0x7E || c == '"' || c == '\\') {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\x%02X", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    if (text.size() > kShown) {
        out += "...";
    }
    return out;
}

void ReportDropped(const std::string& what, const std::string& why)
{
    // One write per line, so lines of several threads never interleave.
    const std::string line = "dropped " + what + ": " + why + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

} // namespace InputRules
