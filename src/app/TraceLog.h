#pragma once

#include <cstdint>

// Appends one entry to <program folder>/logtrace: the label (when not null or
// empty), "-<length>-", the data raw or, when `hex` is non-zero, each byte as
// "[XX]", then CR LF. Writers on any thread are serialised by one lock held from
// opening to closing the file. A file that cannot be opened drops the entry.
void TraceLog(const unsigned char* data, uint32_t length, const char* label, int hex);
