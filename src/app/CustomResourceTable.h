#pragma once

#include "app/ResourceInfo.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// The installation's custom resource file: entries back to back, little-endian,
//   4 bytes not interpreted, 4 bytes name length N, N bytes name,
//   value, left, top, right, bottom (4 bytes each), 8 bytes data length L, L bytes data
// so an entry occupies 36 + N + L bytes.

// The largest file that is read as a custom resource file: its texts and a few
// branding images fit many times over. A larger file is refused from its size alone.
constexpr size_t kCustomResourceFileLimit = 8 * 1024 * 1024;

// Parses a whole file image. Parsing stops at the first entry that does not fit in
// the remaining bytes; the entries before it are kept in `out` (appended). Returns
// true when the whole buffer was consumed, false with a one-line reason in `error`
// otherwise.
bool ParseCustomResources(const uint8_t* bytes, size_t length,
                          std::vector<std::unique_ptr<_Resource_Info>>& out, std::string* error);

// The bytes of one entry in the file format (the uninterpreted leading field is 0).
std::vector<uint8_t> SerializeResourceEntry(const _Resource_Info& entry);
