#pragma once

#include "app/CRequestLogin.h"

#include <memory>

// Reads <program folder>/licache. Null when the file is absent, unreadable or damaged.
std::unique_ptr<CRequestLogin> LoadLoginCache();

// Writes the record as the whole login cache (created or replaced). False when the
// file cannot be written.
bool SaveLoginCache(const CRequestLogin& record);
