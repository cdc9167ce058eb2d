// The session's current account, and the login and inventory flows that the login
// view, the gateway tree and lumetra-cli share, against the real lumetra-farside.

#include "cloud/CNodeDevice.h"
#include "control/GatewayQuery.h"
#include "control/LoginFlow.h"
#include "control/Session.h"
#include "support/FarsideProcess.h"
#include "support/FreePort.h"
#include "support/PlatconfBuilder.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace {

const char kInventory[] = R"({"accounts": [
 {"userName": "alice", "password": "s3cret", "orgId": 301, "newRoleId": 7, "accountsId": 4001, "gateways": [
  {"gwSn": "GW-A1", "gwName": "Line one 一号线", "isOnline": true, "devices": [{"deviceSn": "SN-11"}]},
  {"gwSn": "GW-A2", "gwName": "Line two 二号线", "isOnline": false, "devices": []},
  {"gwSn": "GW-B3", "gwName": "Boiler 锅炉房", "isOnline": true, "devices": []}]}]})";

std::vector<std::string> Serials(const GatewayQuery& query)
{
    std::vector<std::string> serials;
    for (const CNodeGateway& gateway : query.Gateways())
        serials.push_back(gateway.gwSn);
    return serials;
}

class SessionFlows : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const int port = FreePort::Pick();
        ASSERT_GT(port, 0);
        const QString platconf = dir_.FilePath(QStringLiteral("platconf"));
        ASSERT_TRUE(PlatconfBuilder().WebService(port).WriteTo(platconf));
        ASSERT_TRUE(farside_.Start(platconf, dir_.Write("inventory.json", kInventory)))
            << farside_.Error().toStdString();
        session_ = std::make_unique<Session>(CCloudClient("127.0.0.1", port));
    }

    TempDir dir_;
    ScopedEnv home_{"LUMETRA_HOME", dir_.Path().toStdString()};
    FarsideProcess farside_;
    std::unique_ptr<Session> session_;
};

TEST(Session, AccountIsMadeOnTheFirstLoginAndKeptAfterwards)
{
    Session session{CCloudClient()};
    EXPECT_EQ(session.Account(), nullptr);
    const CAccountInfo login{{QStringLiteral("登录成功"), 1}, 12, 3, 42, QStringLiteral("张三")};
    session.SetAccount(login);
    const CAccountInfo* account = session.Account();
    ASSERT_NE(account, nullptr);
    // msg and flag are not copied.
    EXPECT_EQ(std::tuple(account->orgId, account->newRoleId, account->accountsId, account->userName,
                         account->flag, account->msg),
              std::tuple(12, 3, 42, QStringLiteral("张三"), 0, CReplyBase::DefaultMessage()));

    const CAccountInfo second{{QString(), 1}, 7, 0, 0, QStringLiteral("li")};
    session.SetAccount(second);
    EXPECT_EQ(session.Account(), account);
    EXPECT_EQ(
        std::tuple(account->orgId, account->newRoleId, account->accountsId, account->userName, account->flag),
        std::tuple(7, 0, 0, QStringLiteral("li"), 0));
}

// The texts of refused logins and the offer of the recorded login are checked through
// the login view and lumetra-cli; here: a refusal leaves the session as it was.
TEST_F(SessionFlows, RefusedLoginsGiveTheirTextAndLeaveTheSessionAsItWas)
{
    LoginFlow flow(*session_);
    QString failure;
    EXPECT_FALSE(flow.SignIn(QStringLiteral("alice"), QString(), &failure));
    EXPECT_EQ(failure, QString::fromUtf8(LoginFlow::kTextNoPassword));
    EXPECT_EQ(session_->Account(), nullptr);
    ASSERT_TRUE(flow.SignIn(QStringLiteral("alice"), QStringLiteral("s3cret"), &failure))
        << failure.toStdString();
    // A later refusal keeps the account signed in before.
    EXPECT_FALSE(flow.SignIn(QStringLiteral("bob"), QStringLiteral("x"), &failure));
    EXPECT_EQ(failure, QStringLiteral("用户名或密码错误")); // the service's msg
    ASSERT_NE(session_->Account(), nullptr);
    EXPECT_EQ(std::tuple(session_->Account()->userName, session_->Account()->accountsId),
              std::tuple(QStringLiteral("alice"), 4001));
}

TEST_F(SessionFlows, QueriesNeedAnAccountAndCarryTheServiceAnswer)
{
    GatewayQuery query(*session_);
    EXPECT_FALSE(query.Search("", "", ""));
    EXPECT_TRUE(query.Gateways().empty());

    // An account of ids the service does not know: its refusal is the failure text.
    session_->SetAccount(CAccountInfo{{}, 301, 7, 9999, QStringLiteral("alice")});
    EXPECT_FALSE(query.Search("", "", ""));
    EXPECT_EQ(query.Failure().toStdString(), "账号不存在");

    QString failure;
    ASSERT_TRUE(LoginFlow(*session_).SignIn(QStringLiteral("alice"), QStringLiteral("s3cret"), &failure))
        << failure.toStdString();
    ASSERT_TRUE(query.Search("", "", "")) << query.Failure().toStdString();
    EXPECT_EQ(Serials(query), (std::vector<std::string>{"GW-A1", "GW-A2", "GW-B3"}));
    EXPECT_TRUE(query.Failure().isEmpty());
    ASSERT_TRUE(query.Search("", "Line", "", GatewayQuery::kOfflineOnly));
    EXPECT_EQ(Serials(query), std::vector<std::string>{"GW-A2"});

    CDeviceListReply devices = query.Devices("GW-A1");
    const std::vector<std::unique_ptr<CNodeDevice>>& owned = devices.devices;
    ASSERT_EQ(devices.flag, 1);
    ASSERT_EQ(owned.size(), 1u);
    EXPECT_EQ(owned[0]->deviceSn, QStringLiteral("SN-11"));
}

} // namespace
