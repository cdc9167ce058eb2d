#pragma once

#include "app/CRequestLogin.h"

#include <memory>

// The login cache is <program folder>/licache (Installation::LoginCachePath()).

// Reads the login cache at `path`. Null when the file is absent, unreadable, damaged
// or larger than CRequestLogin::kMaxBytes (such a file is not read whole).
std::unique_ptr<CRequestLogin> LoadLoginCache(const QString& path);

// Writes the record as the whole login cache at `path` (created or replaced). False when the
// file cannot be written, or when the record would be larger than
// CRequestLogin::kMaxBytes (the file in place is then left as it is).
bool SaveLoginCache(const QString& path, const CRequestLogin& record);
