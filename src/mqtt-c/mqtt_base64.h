#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Standard Base64 (RFC 4648 alphabet, "=" padding to a multiple of four), the form
// in which bytes travel inside JSON.

// The Base64 text of `length` bytes.
std::string mqtt_base64_encode(const void* data, size_t length);

// Decodes at most `maxChars` characters of `text`, stopping at the first "=", at the
// first character outside the alphabet and at a terminating zero. A last group of
// two or three characters gives one or two bytes; a lone character gives none.
std::vector<uint8_t> mqtt_base64_decode(const char* text, size_t maxChars);
