#pragma once

#include <string>

// Standard Base64 (RFC 4648 alphabet, "=" padding) for the bytes that travel inside
// JSON messages.
class Base64
{
public:
    static std::string Encode(const std::string& bytes);
    // Decodes `text`. Returns false (leaving `bytes` empty) when it holds a character
    // outside the alphabet, padding anywhere but at the end, or a length that is not
    // a multiple of four.
    static bool Decode(const std::string& text, std::string* bytes);
};
