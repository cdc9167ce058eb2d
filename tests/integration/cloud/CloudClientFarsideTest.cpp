// The cloud client against the real lumetra-farside web service, over HTTP on a
// free port and over HTTPS (self-signed certificate) on one of the HTTPS ports.

#include "cloud/CCloudClient.h"
#include "support/FarsideProcess.h"
#include "support/FreePort.h"
#include "support/PlatconfBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// Two accounts. alice's gateways cover every filter case: names with Chinese text,
// online and offline, and one gateway with nothing but its serial number. Her first
// gateway's devices cover every device member, each parity letter, and a device
// with nothing but its serial number (all client defaults).
const char kInventory[] = R"({
  "accounts": [
    {"userName": "alice", "password": "s3cret", "orgId": 301, "newRoleId": 7, "accountsId": 4001,
     "gateways": [
       {"gwSn": "GW-A1", "gwName": "Line one 一号线", "nodeName": "North plant", "isOnline": true,
        "devices": [
          {"deviceId": 11, "id": "a11", "deviceName": "PLC 控制器", "deviceSn": "SN-11",
           "ifaceTypeName": "以太网", "online": true, "ifaceType": 3, "ip": "192.0.2.10", "port": 502,
           "com": "", "baud": 0, "databit": 0, "parity": 0, "stopbit": 0, "timeout": 3000,
           "protocol": "12", "tunType": 1, "tunConnectType": 2},
          {"deviceId": 12, "id": "a12", "deviceName": "Meter", "deviceSn": "SN-12",
           "ifaceTypeName": "RS485", "online": false, "ifaceType": 2, "ip": "", "port": 0,
           "com": "COM1", "baud": 9600, "databit": 8, "parity": 0, "stopbit": 1, "timeout": 1000,
           "protocol": "1", "tunType": 2, "tunConnectType": 0},
          {"deviceId": 13, "deviceSn": "SN-13", "ifaceType": 1, "com": "/dev/ttyS1", "baud": 19200,
           "databit": 7, "parity": 1, "stopbit": 2, "tunType": 2},
          {"deviceId": 14, "deviceSn": "SN-14", "ifaceType": 2, "com": "COM3", "baud": 38400,
           "databit": 8, "parity": 2, "stopbit": 1, "tunType": 2},
          {"deviceSn": "SN-bare"}
        ]},
       {"gwSn": "GW-A2", "gwName": "Line two", "nodeName": "North plant", "isOnline": false},
       {"gwSn": "GW-B3", "gwName": "Boiler 锅炉房", "nodeName": "South site", "isOnline": true,
        "devices": []},
       {"gwSn": "GW-X4"}
     ]},
    {"userName": "bob", "password": "hunter2", "orgId": 302, "newRoleId": 8, "accountsId": 4002,
     "gateways": [
       {"gwSn": "GW-B1", "gwName": "Bob's gateway", "nodeName": "East", "isOnline": true,
        "devices": [{"deviceId": 21, "deviceSn": "SN-21", "tunType": 1, "ip": "192.0.2.20", "port": 502}]}
     ]}
  ]
})";

std::vector<std::string> SerialNumbers(const CGatewayListReply& reply)
{
    std::vector<std::string> serials;
    for (const CNodeGateway& gateway : reply.gateways)
        serials.push_back(gateway.gwSn);
    return serials;
}

// Owns the heap device records of a reply for the length of a test.
struct OwnedDevices
{
    explicit OwnedDevices(const CDeviceListReply& reply) : devices(reply.devices) {}
    ~OwnedDevices()
    {
        for (CNodeDevice* device : devices)
            delete device;
    }
    std::vector<CNodeDevice*> devices;
};

class CloudClientFarsideTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.IsValid());
        inventoryPath = dir.Write("inventory.json", kInventory);
        ASSERT_FALSE(inventoryPath.isEmpty());
    }

    // Starts the service on `port` and points the client at it.
    bool StartOn(int port)
    {
        QString platconf = dir.FilePath(QStringLiteral("platconf-%1").arg(port));
        PlatconfBuilder().Text("wsh", "127.0.0.1").Text("wsp", std::to_string(port)).WriteTo(platconf);
        if (!farside.Start(platconf, inventoryPath))
            return false;
        CCloudClient::SetEndpoint("127.0.0.1", port);
        return true;
    }

    void StartHttp()
    {
        int port = FreePort::Pick();
        ASSERT_GT(port, 0);
        ASSERT_TRUE(StartOn(port)) << farside.Error().toStdString();
        ASSERT_EQ(farside.WebUrl().toStdString(), "http://127.0.0.1:" + std::to_string(port));
    }

    CAccountInfo Alice()
    {
        CAccountInfo account = CCloudClient().Login("alice", "s3cret");
        EXPECT_EQ(account.flag, 1) << account.msg.toStdString();
        return account;
    }

    TempDir dir;
    QString inventoryPath;
    FarsideProcess farside;
};

TEST_F(CloudClientFarsideTest, LoginGivesTheAccountIdsAndRefusesBadCredentials)
{
    StartHttp();
    CCloudClient client;

    CAccountInfo alice = client.Login("alice", "s3cret");
    EXPECT_EQ(alice.flag, 1);
    EXPECT_EQ(alice.msg.toStdString(), "登录成功");
    EXPECT_EQ(alice.orgId, 301);
    EXPECT_EQ(alice.newRoleId, 7);
    EXPECT_EQ(alice.accountsId, 4001);

    CAccountInfo bob = client.Login("bob", "hunter2");
    EXPECT_EQ(bob.flag, 1);
    EXPECT_EQ(bob.accountsId, 4002);

    // A refused login carries the service's message and leaves the ids at their defaults.
    for (auto [user, password] : {std::pair("alice", "wrong"), std::pair("nobody", "s3cret"),
                                  std::pair("alice", ""), std::pair("ALICE", "s3cret")}) {
        SCOPED_TRACE(std::string(user) + "/" + password);
        CAccountInfo refused = client.Login(user, password);
        EXPECT_EQ(refused.flag, 0);
        EXPECT_EQ(refused.msg.toStdString(), "用户名或密码错误");
        EXPECT_EQ(refused.orgId, -1);
        EXPECT_EQ(refused.newRoleId, 0);
        EXPECT_EQ(refused.accountsId, 0);
    }

    // The service logged each request with its user.
    EXPECT_TRUE(farside.WaitForOutput(QStringLiteral("Login user=\"alice\" flag=1")));
    EXPECT_TRUE(farside.WaitForOutput(QStringLiteral("Login user=\"nobody\" flag=0 (unknown user)")));
    EXPECT_TRUE(farside.WaitForOutput(QStringLiteral("Login user=\"alice\" flag=0 (wrong password)")));
}

TEST_F(CloudClientFarsideTest, GatewayListCarriesEveryMemberInInventoryOrder)
{
    StartHttp();
    CGatewayListReply reply = CCloudClient().QueryGateway(Alice(), "", "", "", 0);
    EXPECT_EQ(reply.flag, 1);
    EXPECT_EQ(reply.msg.toStdString(), "查询成功");
    EXPECT_EQ(reply.count, 4);
    ASSERT_EQ(SerialNumbers(reply), (std::vector<std::string>{"GW-A1", "GW-A2", "GW-B3", "GW-X4"}));

    const CNodeGateway& first = reply.gateways[0];
    EXPECT_EQ(first.gwName, "Line one 一号线");
    EXPECT_EQ(first.nodeName, "North plant");
    EXPECT_EQ(first.isOnline, "true");
    EXPECT_TRUE(first.IsOnline());
    EXPECT_EQ(first.csq, "-1");
    EXPECT_TRUE(first.devices.empty());

    EXPECT_EQ(reply.gateways[1].isOnline, "false");
    EXPECT_FALSE(reply.gateways[1].IsOnline());
    EXPECT_EQ(reply.gateways[2].gwName, "Boiler 锅炉房");

    // A gateway the service sends with its serial number alone keeps every default.
    const CNodeGateway& bare = reply.gateways[3];
    EXPECT_EQ(bare.gwName, "");
    EXPECT_EQ(bare.nodeName, "");
    EXPECT_EQ(bare.isOnline, "");
    EXPECT_FALSE(bare.IsOnline());
}

TEST_F(CloudClientFarsideTest, GatewayQueryFiltersByEachCriterionAndOnlineState)
{
    StartHttp();
    CAccountInfo alice = Alice();
    CCloudClient client;
    struct Case
    {
        const char* gwSn;
        const char* gwName;
        const char* nodeName;
        int onlineType;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"A", "", "", 0, {"GW-A1", "GW-A2"}},                  // serial number substring
        {"GW-B3", "", "", 0, {"GW-B3"}},                       // whole serial number
        {"gw-b3", "", "", 0, {}},                              // case matters
        {"", "Line", "", 0, {"GW-A1", "GW-A2"}},               // name substring
        {"", "锅炉", "", 0, {"GW-B3"}},                        // Chinese name substring
        {"", "", "North", 0, {"GW-A1", "GW-A2"}},              // node substring
        {"", "", "South site", 0, {"GW-B3"}},                  //
        {"A", "two", "North", 0, {"GW-A2"}},                   // criteria combine
        {"", "", "", 1, {"GW-A1", "GW-B3"}},                   // online only
        {"", "", "", 2, {"GW-A2", "GW-X4"}},                   // offline only (no state counts as offline)
        {"", "", "", 3, {"GW-A1", "GW-A2", "GW-B3", "GW-X4"}}, // any other value: all
        {"", "", "", -1, {"GW-A1", "GW-A2", "GW-B3", "GW-X4"}},
        {"", "Line", "", 1, {"GW-A1"}}, // filter and online state combine
        {"nothing-like-this", "", "", 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("gwSn=") + c.gwSn + " gwName=" + c.gwName + " nodeName=" + c.nodeName +
                     " onlineType=" + std::to_string(c.onlineType));
        CGatewayListReply reply = client.QueryGateway(alice, c.gwSn, c.gwName, c.nodeName, c.onlineType);
        EXPECT_EQ(reply.flag, 1);
        EXPECT_EQ(reply.msg.toStdString(), "查询成功");
        EXPECT_EQ(SerialNumbers(reply), c.expected);
        EXPECT_EQ(reply.count, static_cast<int>(c.expected.size()));
    }
    // The request reached the service with the criteria as the client sent them.
    EXPECT_TRUE(farside.WaitForOutput(
        QStringLiteral("QueryGateway accountsId=4001 roleId=7 gwSn=\"\" gwName=\"锅炉\" nodeName=\"\" "
                       "onlineType=all flag=1 count=1")));
    EXPECT_TRUE(farside.WaitForOutput(QStringLiteral("onlineType=1 flag=1 count=2")));
    EXPECT_TRUE(farside.WaitForOutput(QStringLiteral("onlineType=0 flag=1 count=2")));
}

TEST_F(CloudClientFarsideTest, GatewayQueryOfAnUnknownAccountIsRefused)
{
    StartHttp();
    CAccountInfo alice = Alice();
    CCloudClient client;

    CAccountInfo stranger = alice;
    stranger.accountsId = 9999;
    CGatewayListReply reply = client.QueryGateway(stranger, "", "", "", 0);
    EXPECT_EQ(reply.flag, 0);
    EXPECT_EQ(reply.msg.toStdString(), "账号不存在");
    EXPECT_TRUE(reply.gateways.empty());

    // The right account id with another role is not that account either.
    CAccountInfo otherRole = alice;
    otherRole.newRoleId = 8;
    reply = client.QueryGateway(otherRole, "", "", "", 0);
    EXPECT_EQ(reply.flag, 0);
    EXPECT_EQ(reply.msg.toStdString(), "账号不存在");

    // Before any login the client's account has the default ids.
    reply = client.QueryGateway(CAccountInfo(), "", "", "", 0);
    EXPECT_EQ(reply.flag, 0);
    EXPECT_TRUE(reply.gateways.empty());
}

TEST_F(CloudClientFarsideTest, DeviceListCarriesEveryMemberAndTheClientDefaults)
{
    StartHttp();
    CAccountInfo alice = Alice();
    CDeviceListReply reply = CCloudClient().QueryDeviceByGw(alice.orgId, "GW-A1", alice.accountsId);
    OwnedDevices owned(reply);
    EXPECT_EQ(reply.flag, 1);
    EXPECT_EQ(reply.msg.toStdString(), "查询成功");
    EXPECT_EQ(reply.count, 5);
    ASSERT_EQ(reply.devices.size(), 5u);

    const CNodeDevice& plc = *reply.devices[0];
    EXPECT_EQ(plc.deviceId, 11);
    EXPECT_EQ(plc.id.toStdString(), "a11");
    EXPECT_EQ(plc.deviceName.toStdString(), "PLC 控制器");
    EXPECT_EQ(plc.deviceSn.toStdString(), "SN-11");
    EXPECT_EQ(plc.ifaceTypeName.toStdString(), "以太网");
    EXPECT_EQ(plc.online, 1);
    EXPECT_EQ(plc.ifaceType, 3);
    EXPECT_EQ(plc.ip.toStdString(), "192.0.2.10");
    EXPECT_EQ(plc.port, 502);
    EXPECT_EQ(plc.com.toStdString(), "");
    EXPECT_EQ(plc.timeout, 3000);
    EXPECT_EQ(plc.protocol, 12); // sent as the text "12"
    EXPECT_EQ(plc.tunType, 1);
    EXPECT_EQ(plc.tunConnectType, 2);
    EXPECT_FALSE(plc.IsSerialInterface());
    EXPECT_TRUE(plc.IsTunnelCapable());
    EXPECT_EQ(plc.AddressText().toStdString(), "192.0.2.10");

    const CNodeDevice& meter = *reply.devices[1];
    EXPECT_EQ(meter.deviceSn.toStdString(), "SN-12");
    // "online" false still marks the device: the client only looks for the member.
    EXPECT_EQ(meter.online, 1);
    EXPECT_EQ(meter.ifaceType, 2);
    EXPECT_EQ(meter.com.toStdString(), "COM1");
    EXPECT_EQ(meter.baud, 9600);
    EXPECT_EQ(meter.databit, 8);
    EXPECT_EQ(meter.parity, 0);
    EXPECT_EQ(meter.stopbit, 1);
    EXPECT_EQ(meter.timeout, 1000);
    EXPECT_EQ(meter.protocol, 1);
    EXPECT_EQ(meter.tunType, 2);
    EXPECT_EQ(meter.localComNumber, -1);
    EXPECT_TRUE(meter.IsSerialInterface());
    EXPECT_EQ(meter.ParityLetter(), 'N');
    EXPECT_EQ(meter.AddressText().toStdString(), "COM#,9600,8,N,1");

    // Without "online" and "ifaceTypeName" the online flag stays 0.
    const CNodeDevice& odd = *reply.devices[2];
    EXPECT_EQ(odd.online, 0);
    EXPECT_EQ(odd.com.toStdString(), "/dev/ttyS1");
    EXPECT_EQ(odd.ParityLetter(), 'O');
    EXPECT_EQ(odd.AddressText().toStdString(), "COM#,19200,7,O,2");
    EXPECT_EQ(reply.devices[3]->ParityLetter(), 'E');
    EXPECT_EQ(reply.devices[3]->AddressText().toStdString(), "COM#,38400,8,E,1");

    const CNodeDevice& bare = *reply.devices[4];
    EXPECT_EQ(bare.deviceSn.toStdString(), "SN-bare");
    EXPECT_EQ(bare.deviceId, 0);
    EXPECT_TRUE(bare.id.isEmpty());
    EXPECT_TRUE(bare.deviceName.isEmpty());
    EXPECT_TRUE(bare.ifaceTypeName.isEmpty());
    EXPECT_EQ(bare.ifaceType, 0);
    EXPECT_EQ(bare.protocol, 0);
    EXPECT_TRUE(bare.ip.isEmpty());
    EXPECT_EQ(bare.port, 0);
    EXPECT_EQ(bare.tunType, 0);
    EXPECT_EQ(bare.online, 0);
    EXPECT_FALSE(bare.IsTunnelCapable());
    EXPECT_EQ(bare.AddressText().toStdString(), "");

    EXPECT_TRUE(farside.WaitForOutput(
        QStringLiteral("QueryDeviceByGw orgId=301 accountsId=4001 gwSn=\"GW-A1\" flag=1 count=5")));

    // A gateway without devices gives an empty list.
    CDeviceListReply empty = CCloudClient().QueryDeviceByGw(alice.orgId, "GW-B3", alice.accountsId);
    EXPECT_EQ(empty.flag, 1);
    EXPECT_EQ(empty.count, 0);
    EXPECT_TRUE(empty.devices.empty());
}

TEST_F(CloudClientFarsideTest, DeviceListOfAnotherAccountsGatewayIsRefused)
{
    StartHttp();
    CAccountInfo alice = Alice();
    CCloudClient client;

    CDeviceListReply foreign = client.QueryDeviceByGw(alice.orgId, "GW-B1", alice.accountsId);
    OwnedDevices ownedForeign(foreign);
    EXPECT_EQ(foreign.flag, 0);
    EXPECT_EQ(foreign.msg.toStdString(), "网关不存在或不属于该账号");
    EXPECT_TRUE(foreign.devices.empty());

    CDeviceListReply unknown = client.QueryDeviceByGw(alice.orgId, "GW-NONE", alice.accountsId);
    OwnedDevices ownedUnknown(unknown);
    EXPECT_EQ(unknown.flag, 0);
    EXPECT_EQ(unknown.msg.toStdString(), "网关不存在或不属于该账号");

    // bob's organisation with alice's account id is no account at all.
    CDeviceListReply mixed = client.QueryDeviceByGw(302, "GW-B1", alice.accountsId);
    OwnedDevices ownedMixed(mixed);
    EXPECT_EQ(mixed.flag, 0);
    EXPECT_EQ(mixed.msg.toStdString(), "账号不存在");

    // bob himself gets his device.
    CAccountInfo bob = client.Login("bob", "hunter2");
    CDeviceListReply own = client.QueryDeviceByGw(bob.orgId, "GW-B1", bob.accountsId);
    OwnedDevices ownedOwn(own);
    EXPECT_EQ(own.flag, 1);
    ASSERT_EQ(own.devices.size(), 1u);
    EXPECT_EQ(own.devices[0]->deviceSn.toStdString(), "SN-21");
    EXPECT_EQ(own.devices[0]->ip.toStdString(), "192.0.2.20");
}

TEST_F(CloudClientFarsideTest, AStoppedServiceGivesTheCallFailedDefaults)
{
    StartHttp();
    ASSERT_EQ(farside.Stop(), 0);
    CAccountInfo account = CCloudClient().Login("alice", "s3cret");
    EXPECT_EQ(account.flag, 0);
    EXPECT_EQ(account.msg.toStdString(), "调用失败");
    EXPECT_EQ(account.orgId, -1);
}

// Over HTTPS: the client chooses "https://" by port and accepts the service's
// self-signed certificate. The HTTPS ports are fixed, so the test skips when
// something else holds both.
TEST_F(CloudClientFarsideTest, WholeSessionOverHttpsWithSelfSignedCertificate)
{
    int port = 0;
    std::string attempts;
    for (int candidate : {10443, 8443}) {
        if (!FreePort::IsFree(candidate)) {
            attempts += " " + std::to_string(candidate) + ": in use;";
        } else if (StartOn(candidate)) {
            port = candidate;
            break;
        } else {
            attempts += " " + std::to_string(candidate) + ": " + farside.Error().toStdString() + ";";
        }
    }
    if (port == 0)
        GTEST_SKIP() << "no HTTPS port available:" << attempts;
    EXPECT_EQ(farside.WebUrl().toStdString(), "https://127.0.0.1:" + std::to_string(port));
    EXPECT_EQ(CCloudClient::Scheme(), "https://");

    CCloudClient client;
    CAccountInfo alice = client.Login("alice", "s3cret");
    ASSERT_EQ(alice.flag, 1) << alice.msg.toStdString();
    EXPECT_EQ(alice.accountsId, 4001);
    EXPECT_EQ(client.Login("alice", "nope").msg.toStdString(), "用户名或密码错误");

    CGatewayListReply gateways = client.QueryGateway(alice, "", "锅炉", "", 1);
    EXPECT_EQ(gateways.flag, 1);
    EXPECT_EQ(SerialNumbers(gateways), std::vector<std::string>{"GW-B3"});

    CDeviceListReply devices = client.QueryDeviceByGw(alice.orgId, "GW-A1", alice.accountsId);
    OwnedDevices owned(devices);
    EXPECT_EQ(devices.flag, 1);
    ASSERT_EQ(devices.devices.size(), 5u);
    EXPECT_EQ(devices.devices[0]->deviceName.toStdString(), "PLC 控制器");
}

} // namespace
