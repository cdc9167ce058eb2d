#include "cloud/CCloudClient.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>

namespace {

const QString kFailed = QStringLiteral("调用失败");

// The caller owns the parsed device records.
std::vector<std::unique_ptr<CNodeDevice>> Own(const CDeviceListReply& reply)
{
    std::vector<std::unique_ptr<CNodeDevice>> owned;
    for (CNodeDevice* device : reply.devices)
        owned.emplace_back(device);
    return owned;
}

// Replies that are not JSON objects, or not JSON at all.
const char* const kUnparsable[] = {
    "",
    "<html><body>502 Bad Gateway</body></html>",
    "{\"flag\":1,\"msg\":\"ok\",\"orgId\":",
    "{\"flag\":1,\"gwList\":[{\"gwSn\":\"A\"}",
    "{flag:1}",
    "\xff\xfe\x00\x01",
    "null",
    "[{\"flag\":1}]",
    "17",
    "\"flag\"",
};

TEST(CloudLoginReply, ReadsEveryField)
{
    const CAccountInfo info = CCloudClient::ParseLoginReply(
        R"({"flag":1,"msg":"登录成功","orgId":12,"newRoleId":3,"accountsId":42,"extra":[1,2]})");
    EXPECT_EQ(info.flag, 1);
    EXPECT_EQ(info.msg, QStringLiteral("登录成功"));
    EXPECT_EQ(info.orgId, 12);
    EXPECT_EQ(info.newRoleId, 3);
    EXPECT_EQ(info.accountsId, 42);
    EXPECT_TRUE(info.userName.isEmpty());
}

TEST(CloudLoginReply, MissingNullAndWrongTypedItemsKeepDefaults)
{
    const CAccountInfo onlyFlag = CCloudClient::ParseLoginReply(R"({"flag":1})");
    EXPECT_EQ(onlyFlag.flag, 1);
    EXPECT_EQ(onlyFlag.msg, kFailed);
    EXPECT_EQ(onlyFlag.orgId, -1);
    EXPECT_EQ(onlyFlag.newRoleId, 0);
    EXPECT_EQ(onlyFlag.accountsId, 0);

    const CAccountInfo nullMsg = CCloudClient::ParseLoginReply(R"({"flag":0,"msg":null})");
    EXPECT_EQ(nullMsg.msg, kFailed);

    const CAccountInfo wrong = CCloudClient::ParseLoginReply(
        R"({"flag":"1","msg":5,"orgId":"12","newRoleId":true,"accountsId":{"v":1}})");
    EXPECT_EQ(wrong.flag, 0);
    EXPECT_EQ(wrong.msg, kFailed);
    EXPECT_EQ(wrong.orgId, -1);
    EXPECT_EQ(wrong.newRoleId, 0);
    EXPECT_EQ(wrong.accountsId, 0);

    const CAccountInfo failure = CCloudClient::ParseLoginReply(R"({"flag":0,"msg":"用户名或密码错误"})");
    EXPECT_EQ(failure.flag, 0);
    EXPECT_EQ(failure.msg, QStringLiteral("用户名或密码错误"));
}

TEST(CloudLoginReply, NamesMatchWithoutRegardToCase)
{
    const CAccountInfo info =
        CCloudClient::ParseLoginReply(R"({"FLAG":2,"Msg":"ok","ORGID":5,"newroleid":6,"AccountsID":7})");
    EXPECT_EQ(info.flag, 2);
    EXPECT_EQ(info.msg, "ok");
    EXPECT_EQ(info.orgId, 5);
    EXPECT_EQ(info.newRoleId, 6);
    EXPECT_EQ(info.accountsId, 7);
}

TEST(CloudLoginReply, NumbersTakeTheirIntegerValue)
{
    const CAccountInfo info =
        CCloudClient::ParseLoginReply(R"({"flag":1.9,"orgId":-3,"newRoleId":1e30,"accountsId":-1e30})");
    EXPECT_EQ(info.flag, 1);
    EXPECT_EQ(info.orgId, -3);
    EXPECT_EQ(info.newRoleId, INT_MAX);
    EXPECT_EQ(info.accountsId, INT_MIN);
}

TEST(CloudLoginReply, UnparsableRepliesGiveDefaults)
{
    for (const char* text : kUnparsable) {
        const CAccountInfo info = CCloudClient::ParseLoginReply(text);
        EXPECT_EQ(info.flag, 0) << text;
        EXPECT_EQ(info.msg, kFailed) << text;
        EXPECT_EQ(info.orgId, -1) << text;
    }
}

TEST(CloudGatewayReply, ReadsGatewaysInOrder)
{
    const CGatewayListReply reply = CCloudClient::ParseGatewayListReply(
        R"({"flag":1,"msg":"查询成功","count":2,"gwList":[)"
        R"({"gwSn":"GW-A","isOnline":true,"gwName":"一号网关","nodeName":"车间"},)"
        R"({"gwSn":"GW-B","isOnline":false,"gwName":"two","nodeName":"hall","lanIp":"ignored"}]})");
    EXPECT_EQ(reply.flag, 1);
    EXPECT_EQ(reply.msg, QStringLiteral("查询成功"));
    EXPECT_EQ(reply.count, 2);
    ASSERT_EQ(reply.gateways.size(), 2u);
    const CNodeGateway& a = reply.gateways[0];
    EXPECT_EQ(a.gwSn, "GW-A");
    EXPECT_EQ(a.isOnline, "true");
    EXPECT_TRUE(a.IsOnline());
    EXPECT_EQ(a.gwName, "一号网关");
    EXPECT_EQ(a.nodeName, "车间");
    EXPECT_EQ(a.lanIp, "");
    EXPECT_EQ(a.csq, "-1");
    EXPECT_TRUE(a.devices.empty());
    const CNodeGateway& b = reply.gateways[1];
    EXPECT_EQ(b.gwSn, "GW-B");
    EXPECT_EQ(b.isOnline, "false");
    EXPECT_FALSE(b.IsOnline());
    EXPECT_EQ(b.gwName, "two");
    EXPECT_EQ(b.nodeName, "hall");
    EXPECT_EQ(b.lanIp, "");
}

TEST(CloudGatewayReply, OnlineOnlyForTheJsonValueTrue)
{
    const CGatewayListReply reply = CCloudClient::ParseGatewayListReply(
        R"({"flag":1,"gwList":[{"isOnline":true},{"isOnline":1},{"isOnline":"true"},{"isOnline":null},)"
        R"({"isOnline":false},{"gwSn":"none"},{"ISONLINE":true}]})");
    ASSERT_EQ(reply.gateways.size(), 7u);
    const char* expected[] = {"true", "false", "false", "false", "false", "", "true"};
    for (size_t i = 0; i < 7; ++i)
        EXPECT_EQ(reply.gateways[i].isOnline, expected[i]) << "gateway " << i;
}

TEST(CloudGatewayReply, NullAndWrongTypedTextsAreSkipped)
{
    const CGatewayListReply reply = CCloudClient::ParseGatewayListReply(
        R"({"flag":1,"count":"1","gwList":[{"gwSn":null,"gwName":7,"nodeName":["x"]},1,"GW"]})");
    EXPECT_EQ(reply.count, 0);
    // Every element makes a record; an element that is not an object keeps every initial value.
    ASSERT_EQ(reply.gateways.size(), 3u);
    for (const CNodeGateway& gateway : reply.gateways) {
        EXPECT_EQ(gateway.gwSn, "");
        EXPECT_EQ(gateway.gwName, "");
        EXPECT_EQ(gateway.nodeName, "");
        EXPECT_EQ(gateway.isOnline, "");
    }
}

TEST(CloudGatewayReply, MissingOrNonArrayListIsEmpty)
{
    EXPECT_TRUE(CCloudClient::ParseGatewayListReply(R"({"flag":1,"count":0})").gateways.empty());
    EXPECT_TRUE(CCloudClient::ParseGatewayListReply(R"({"flag":1,"gwList":{"gwSn":"A"}})").gateways.empty());
    EXPECT_TRUE(CCloudClient::ParseGatewayListReply(R"({"flag":1,"gwList":"A"})").gateways.empty());
    EXPECT_TRUE(CCloudClient::ParseGatewayListReply(R"({"flag":1,"gwList":[]})").gateways.empty());
}

TEST(CloudGatewayReply, UnparsableRepliesGiveDefaults)
{
    for (const char* text : kUnparsable) {
        const CGatewayListReply reply = CCloudClient::ParseGatewayListReply(text);
        EXPECT_EQ(reply.flag, 0) << text;
        EXPECT_EQ(reply.msg, kFailed) << text;
        EXPECT_EQ(reply.count, 0) << text;
        EXPECT_TRUE(reply.gateways.empty()) << text;
    }
}

TEST(CloudDeviceReply, ReadsEveryField)
{
    const CDeviceListReply reply = CCloudClient::ParseDeviceListReply(
        R"({"flag":1,"msg":"ok","count":2,"devList":[)"
        R"({"deviceId":301,"deviceName":"温控器","deviceSn":"DEV-301","ifaceTypeName":"RS485","online":1,)"
        R"("id":"a1b2","ifaceType":2,"ip":"","port":0,"com":"COM2","baud":9600,"databit":8,"parity":2,)"
        R"("stopbit":1,"timeout":500,"protocol":"12","tunType":2,"tunConnectType":1},)"
        R"({"deviceId":302,"deviceName":"PLC","deviceSn":"DEV-302","ifaceTypeName":"以太网","online":0,)"
        R"("id":"c3","ifaceType":3,"ip":"192.168.1.10","port":502,"protocol":"1","tunType":1}]})");
    auto owned = Own(reply);
    EXPECT_EQ(reply.flag, 1);
    EXPECT_EQ(reply.msg, "ok");
    EXPECT_EQ(reply.count, 2);
    ASSERT_EQ(reply.devices.size(), 2u);

    const CNodeDevice& serial = *reply.devices[0];
    EXPECT_EQ(serial.deviceId, 301);
    EXPECT_EQ(serial.deviceName, QStringLiteral("温控器"));
    EXPECT_EQ(serial.deviceSn, "DEV-301");
    EXPECT_EQ(serial.ifaceTypeName, "RS485");
    EXPECT_EQ(serial.online, 1);
    EXPECT_EQ(serial.id, "a1b2");
    EXPECT_EQ(serial.ifaceType, 2);
    EXPECT_EQ(serial.ip, "");
    EXPECT_EQ(serial.port, 0);
    EXPECT_EQ(serial.com, "COM2");
    EXPECT_EQ(serial.baud, 9600);
    EXPECT_EQ(serial.databit, 8);
    EXPECT_EQ(serial.parity, 2);
    EXPECT_EQ(serial.stopbit, 1);
    EXPECT_EQ(serial.timeout, 500);
    EXPECT_EQ(serial.protocol, 12);
    EXPECT_EQ(serial.tunType, 2);
    EXPECT_EQ(serial.tunConnectType, 1);
    EXPECT_EQ(serial.virtualComPair, nullptr);
    EXPECT_EQ(serial.localComNumber, -1);
    EXPECT_EQ(serial.tunnel, nullptr);
    EXPECT_EQ(serial.tunnelOpen, 0);

    const CNodeDevice& net = *reply.devices[1];
    EXPECT_EQ(net.deviceId, 302);
    EXPECT_EQ(net.ifaceTypeName, QStringLiteral("以太网"));
    // Present "online" marks the device whatever its value.
    EXPECT_EQ(net.online, 1);
    EXPECT_EQ(net.ifaceType, 3);
    EXPECT_EQ(net.ip, "192.168.1.10");
    EXPECT_EQ(net.port, 502);
    EXPECT_EQ(net.protocol, 1);
    EXPECT_EQ(net.tunType, 1);
    EXPECT_EQ(net.com, "");
    EXPECT_EQ(net.baud, 0);
    EXPECT_EQ(net.tunConnectType, 0);
}

TEST(CloudDeviceReply, EmptyElementKeepsInitialValues)
{
    const CDeviceListReply reply = CCloudClient::ParseDeviceListReply(R"({"flag":1,"devList":[{},7]})");
    auto owned = Own(reply);
    ASSERT_EQ(reply.devices.size(), 2u);
    for (const CNodeDevice* device : reply.devices) {
        EXPECT_EQ(device->deviceId, 0);
        EXPECT_TRUE(device->deviceSn.isEmpty());
        EXPECT_EQ(device->online, 0);
        EXPECT_EQ(device->protocol, 0);
        EXPECT_EQ(device->localComNumber, -1);
    }
}

TEST(CloudDeviceReply, OnlineNeedsTextualInterfaceName)
{
    const CDeviceListReply reply = CCloudClient::ParseDeviceListReply(
        R"({"flag":1,"devList":[{"online":false,"ifaceTypeName":"RS232"},{"online":"no","ifaceTypeName":""},)"
        R"({"online":1},{"online":1,"ifaceTypeName":null},{"online":1,"ifaceTypeName":5},)"
        R"({"ifaceTypeName":"RS232"},{"online":null,"ifaceTypeName":"x"}]})");
    auto owned = Own(reply);
    ASSERT_EQ(reply.devices.size(), 7u);
    const int expected[] = {1, 1, 0, 0, 0, 0, 1};
    for (size_t i = 0; i < 7; ++i)
        EXPECT_EQ(reply.devices[i]->online, expected[i]) << "device " << i;
}

TEST(CloudDeviceReply, ProtocolIsTheNumberInItsText)
{
    const CDeviceListReply reply = CCloudClient::ParseDeviceListReply(
        R"({"devList":[{"protocol":"12"},{"protocol":"7abc"},{"protocol":"abc"},{"protocol":""},)"
        R"({"protocol":" -4"},{"protocol":9},{"protocol":true},{"protocol":null},{"protocol":"99999999999"}]})");
    auto owned = Own(reply);
    ASSERT_EQ(reply.devices.size(), 9u);
    const int expected[] = {12, 7, 0, 0, -4, 9, 0, 0, INT_MAX};
    for (size_t i = 0; i < 9; ++i)
        EXPECT_EQ(reply.devices[i]->protocol, expected[i]) << "device " << i;
}

TEST(CloudDeviceReply, WrongTypedItemsKeepInitialValues)
{
    const CDeviceListReply reply = CCloudClient::ParseDeviceListReply(
        R"({"flag":1,"devList":[{"deviceId":"301","deviceName":5,"deviceSn":null,"ifaceType":"2","baud":"9600",)"
        R"("parity":true,"port":[502],"ip":{"a":1},"com":false,"timeout":"1","tunType":"2","id":3}]})");
    auto owned = Own(reply);
    ASSERT_EQ(reply.devices.size(), 1u);
    const CNodeDevice& d = *reply.devices[0];
    EXPECT_EQ(d.deviceId, 0);
    EXPECT_TRUE(d.deviceName.isEmpty());
    EXPECT_TRUE(d.deviceSn.isEmpty());
    EXPECT_EQ(d.ifaceType, 0);
    EXPECT_EQ(d.baud, 0);
    EXPECT_EQ(d.parity, 0);
    EXPECT_EQ(d.port, 0);
    EXPECT_TRUE(d.ip.isEmpty());
    EXPECT_TRUE(d.com.isEmpty());
    EXPECT_EQ(d.timeout, 0);
    EXPECT_EQ(d.tunType, 0);
    EXPECT_TRUE(d.id.isEmpty());
}

TEST(CloudDeviceReply, UnparsableRepliesGiveDefaults)
{
    for (const char* text : kUnparsable) {
        const CDeviceListReply reply = CCloudClient::ParseDeviceListReply(text);
        auto owned = Own(reply);
        EXPECT_EQ(reply.flag, 0) << text;
        EXPECT_EQ(reply.msg, kFailed) << text;
        EXPECT_TRUE(reply.devices.empty()) << text;
    }
    const CDeviceListReply truncated =
        CCloudClient::ParseDeviceListReply(R"({"flag":1,"devList":[{"deviceId":1},{"deviceId":)");
    EXPECT_TRUE(truncated.devices.empty());
    EXPECT_TRUE(CCloudClient::ParseDeviceListReply(R"({"flag":1,"devList":{"deviceId":1}})").devices.empty());
}

TEST(CloudDeviceReply, EveryTruncationGivesDefaults)
{
    const std::string full =
        R"({"flag":1,"msg":"好","count":1,"devList":[{"deviceId":1,"deviceName":"温控器",)"
        R"("ifaceTypeName":"RS485","online":true,"protocol":"12","baud":9600}]})";
    const CDeviceListReply whole = CCloudClient::ParseDeviceListReply(full);
    auto owned = Own(whole);
    ASSERT_EQ(whole.devices.size(), 1u);
    for (size_t length = 0; length < full.size(); ++length) {
        const CDeviceListReply reply = CCloudClient::ParseDeviceListReply(full.substr(0, length));
        auto part = Own(reply);
        EXPECT_EQ(reply.flag, 0) << length;
        EXPECT_EQ(reply.msg, kFailed) << length;
        EXPECT_TRUE(reply.devices.empty()) << length;
    }
}

} // namespace
