#include "cloud/CurrentAccount.h"

#include <gtest/gtest.h>

namespace {

// The current account is process-wide, so its whole life is one test.
TEST(CurrentAccount, CreatedOnFirstLoginAndKeptAfterwards)
{
    EXPECT_EQ(GetCurrentAccount(), nullptr);

    CAccountInfo login;
    login.flag = 1;
    login.msg = QStringLiteral("登录成功");
    login.orgId = 12;
    login.newRoleId = 3;
    login.accountsId = 42;
    login.userName = QStringLiteral("张三");
    SetCurrentAccount(login);

    CAccountInfo* account = GetCurrentAccount();
    ASSERT_NE(account, nullptr);
    EXPECT_EQ(account->orgId, 12);
    EXPECT_EQ(account->newRoleId, 3);
    EXPECT_EQ(account->accountsId, 42);
    EXPECT_EQ(account->userName, QStringLiteral("张三"));
    // msg and flag are not copied.
    EXPECT_EQ(account->flag, 0);
    EXPECT_EQ(account->msg, CReplyBase::DefaultMessage());

    CAccountInfo second;
    second.flag = 1;
    second.orgId = 7;
    second.userName = QStringLiteral("li");
    SetCurrentAccount(second);
    EXPECT_EQ(GetCurrentAccount(), account);
    EXPECT_EQ(account->orgId, 7);
    EXPECT_EQ(account->newRoleId, 0);
    EXPECT_EQ(account->accountsId, 0);
    EXPECT_EQ(account->userName, "li");
    EXPECT_EQ(account->flag, 0);
}

} // namespace
