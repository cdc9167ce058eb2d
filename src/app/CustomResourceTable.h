#pragma once

#include "app/ResourceInfo.h"

#include <QString>
#include <cstddef>
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
// the remaining bytes; the entries before it are kept in `out` (appended, heap
// records owned by the caller). Returns true when the whole buffer was consumed,
// false with a one-line reason in `error` otherwise.
bool ParseCustomResources(const uint8_t* bytes, size_t length, std::vector<_Resource_Info*>& out,
                          std::string* error);

// The bytes of one entry in the file format (the uninterpreted leading field is 0).
std::vector<uint8_t> SerializeResourceEntry(const _Resource_Info& entry);

// Reads <program folder>/custom_resource/platconf into the process-wide table. A
// missing file leaves the table empty; a damaged one keeps the entries before the
// damage and writes one line to standard error, and so does one larger than
// kCustomResourceFileLimit (which keeps no entries). Called once at start-up.
void LoadCustomResources();
// The same from an explicit path (tools and tests).
void LoadCustomResourcesFrom(const QString& path);

// The first entry whose name equals `name` exactly (case-sensitive), or null.
const _Resource_Info* FindCustomResource(const char* name);

// Text of an entry, or `fallback` when the table has no such entry.
std::string CustomResourceText(const char* name, const std::string& fallback = std::string());

// The process-wide table in file order.
const std::vector<_Resource_Info*>& CustomResourceTable();
