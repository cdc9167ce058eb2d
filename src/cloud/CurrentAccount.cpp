#include "cloud/CurrentAccount.h"

namespace {

// Made on the first successful login and never freed: it lives as long as the process.
CAccountInfo* g_currentAccount = nullptr;

} // namespace

void SetCurrentAccount(const CAccountInfo& loginReply)
{
    if (g_currentAccount == nullptr)
        g_currentAccount = new CAccountInfo;
    g_currentAccount->orgId = loginReply.orgId;
    g_currentAccount->newRoleId = loginReply.newRoleId;
    g_currentAccount->accountsId = loginReply.accountsId;
    g_currentAccount->userName = loginReply.userName;
}

CAccountInfo* GetCurrentAccount()
{
    return g_currentAccount;
}
