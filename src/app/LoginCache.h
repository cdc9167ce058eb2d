#pragma once

#include "app/CRequestLogin.h"

#include <memory>

// The login cache is <state folder>/licache (Installation::LoginCachePath()).

// Reads the login cache at `path`. Null when the file is absent, unreadable, damaged,
// larger than CRequestLogin::kMaxBytes (such a file is not read whole), or open to
// group or others (it holds a password: such a file is neither read nor changed;
// LoginCacheIsOpenToOthers tells the program to say so).
std::unique_ptr<CRequestLogin> LoadLoginCache(const QString& path);

// True when the login cache at `path` is a regular file that group or others may read
// or write.
bool LoginCacheIsOpenToOthers(const QString& path);

// Writes the record as the whole login cache at `path` (created or replaced). False when the
// file cannot be written, or when the record would be larger than
// CRequestLogin::kMaxBytes (the file in place is then left as it is).
bool SaveLoginCache(const QString& path, const CRequestLogin& record);
