// The cloud client against the real lumetra-farside web service. Listing and signing
// in over HTTP are lumetra-cli's tests, reply fields and defaults the reply parser's;
// here: HTTPS with a self-signed certificate, and the service's refusals of ids that
// do not belong together.

#include "cloud/CCloudClient.h"
#include "support/FarsideProcess.h"
#include "support/FreePort.h"
#include "support/PlatconfBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

const char kInventory[] = R"({"accounts": [
 {"userName": "alice", "password": "s3cret", "orgId": 301, "newRoleId": 7, "accountsId": 4001, "gateways": [
  {"gwSn": "GW-A1", "gwName": "Line one 一号线", "isOnline": true, "devices": [{"deviceSn": "SN-11"}]},
  {"gwSn": "GW-B3", "gwName": "Boiler 锅炉房", "isOnline": true, "devices": []}]},
 {"userName": "bob", "password": "hunter2", "orgId": 302, "newRoleId": 8, "accountsId": 4002, "gateways": [
  {"gwSn": "GW-B1", "devices": [{"deviceSn": "SN-21"}]}]}]})";

class CloudClientFarsideTest : public ::testing::Test
{
protected:
    // Starts the service on `port` and points the client at it.
    bool StartOn(int port)
    {
        const QString platconf = dir.FilePath(QStringLiteral("platconf-%1").arg(port));
        client = CCloudClient("127.0.0.1", port);
        return PlatconfBuilder().WebService(port).WriteTo(platconf) &&
               farside.Start(platconf, dir.Write("inventory.json", kInventory));
    }

    TempDir dir;
    FarsideProcess farside;
    CCloudClient client;
};

TEST_F(CloudClientFarsideTest, IdsOfAnotherAccountOrRoleAreRefused)
{
    const int port = FreePort::Pick();
    ASSERT_TRUE(port > 0 && StartOn(port)) << farside.Error().toStdString();
    const CAccountInfo alice = client.Login("alice", "s3cret");
    ASSERT_EQ(alice.accountsId, 4001);
    CAccountInfo stranger = alice, otherRole = alice;
    stranger.accountsId = 9999;
    otherRole.newRoleId = 8;
    for (const CAccountInfo& account : {stranger, otherRole, CAccountInfo()}) {
        const CGatewayListReply reply = client.QueryGateway(account, "", "", "", 0);
        EXPECT_EQ(std::tuple(reply.flag, reply.msg.toStdString(), reply.gateways.size()),
                  std::tuple(0, "账号不存在", size_t(0)));
    }
    // bob's gateway, and bob's organisation with alice's account id.
    const std::tuple<int, const char*, const char*> refusals[] = {{301, "GW-B1", "网关不存在或不属于该账号"},
                                                                  {302, "GW-B1", "账号不存在"}};
    for (const auto& [orgId, gwSn, message] : refusals) {
        const CDeviceListReply refused(client.QueryDeviceByGw(orgId, gwSn, alice.accountsId));
        EXPECT_EQ(std::tuple(refused.flag, refused.msg.toStdString(), refused.devices.size()),
                  std::tuple(0, message, size_t(0)));
    }
}

// The client chooses "https://" by port and accepts the self-signed certificate. The
// HTTPS ports are fixed, so the test skips when something else holds both.
TEST_F(CloudClientFarsideTest, WholeSessionOverHttpsWithSelfSignedCertificate)
{
    std::string attempts;
    int port = 0;
    for (int candidate : {10443, 8443}) {
        if (FreePort::IsFree(candidate) && StartOn(candidate)) {
            port = candidate;
            break;
        }
        attempts += " " + std::to_string(candidate) + ": " + farside.Error().toStdString() + ";";
    }
    if (port == 0)
        GTEST_SKIP() << "no HTTPS port available:" << attempts;
    EXPECT_EQ(farside.WebUrl().toStdString(), "https://127.0.0.1:" + std::to_string(port));
    EXPECT_EQ(client.Scheme(), "https://");
    const CAccountInfo alice = client.Login("alice", "s3cret");
    ASSERT_EQ(std::tuple(alice.flag, alice.accountsId), std::tuple(1, 4001)) << alice.msg.toStdString();
    EXPECT_EQ(client.Login("alice", "nope").msg.toStdString(), "用户名或密码错误");
    const CGatewayListReply gateways = client.QueryGateway(alice, "", "锅炉", "", 1);
    ASSERT_EQ(gateways.gateways.size(), 1u);
    EXPECT_EQ(gateways.gateways[0].gwSn, "GW-B3");
    const CDeviceListReply devices(client.QueryDeviceByGw(alice.orgId, "GW-A1", alice.accountsId));
    ASSERT_EQ(devices.devices.size(), 1u);
    EXPECT_EQ(devices.devices[0]->deviceSn.toStdString(), "SN-11");
}

} // namespace
