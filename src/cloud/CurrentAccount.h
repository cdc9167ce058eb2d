#pragma once

#include "cloud/CAccountInfo.h"

// The process-wide current account: null until the first successful login, then
// kept for the life of the process.

// Creates the current account on first use and copies orgId, newRoleId,
// accountsId and the user name from the login reply (not msg and flag).
void SetCurrentAccount(const CAccountInfo& loginReply);
// The current account, or null before the first successful login.
CAccountInfo* GetCurrentAccount();
