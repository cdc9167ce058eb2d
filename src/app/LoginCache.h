#pragma once

#include "app/CRequestLogin.h"

#include <memory>

// Reads <program folder>/licache. Null when the file is absent, unreadable, damaged
// or larger than CRequestLogin::kMaxBytes (such a file is not read whole).
std::unique_ptr<CRequestLogin> LoadLoginCache();

// Writes the record as the whole login cache (created or replaced). False when the
// file cannot be written, or when the record would be larger than
// CRequestLogin::kMaxBytes (the file in place is then left as it is).
bool SaveLoginCache(const CRequestLogin& record);
