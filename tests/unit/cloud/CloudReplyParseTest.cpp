#include "cloud/CCloudClient.h"

#include <climits>
#include <gtest/gtest.h>
#include <sstream>

namespace {

const std::string kFailed = "调用失败";

// A parsed device list.
struct Devices : CDeviceListReply
{
    explicit Devices(const std::string& json) : CDeviceListReply(CCloudClient::ParseDeviceListReply(json)) {}
};

std::string Describe(const CNodeGateway& g)
{
    return g.gwSn + "|" + g.isOnline + "|" + g.gwName + "|" + g.nodeName + "|" + g.lanIp + "|" + g.csq + "|" +
           std::to_string(g.devices.size());
}

std::string Describe(const CNodeDevice& d)
{
    std::ostringstream s;
    s << d.deviceId << '|' << d.id.toStdString() << '|' << d.deviceName.toStdString() << '|'
      << d.deviceSn.toStdString() << '|' << d.ifaceTypeName.toStdString() << '|' << d.online << '|'
      << d.ifaceType << '|' << d.ip.toStdString() << '|' << d.port << '|' << d.com.toStdString() << '|'
      << d.baud << '|' << d.databit << '|' << d.parity << '|' << d.stopbit << '|' << d.timeout << '|'
      << d.protocol << '|' << d.tunType << '|' << d.tunConnectType << '|' << d.localComNumber << '|'
      << d.virtualComPair << '|' << d.tunnelOpen;
    return s.str();
}

std::vector<int> Each(const CDeviceListReply& reply, int CNodeDevice::*field)
{
    std::vector<int> values;
    for (const std::unique_ptr<CNodeDevice>& device : reply.devices)
        values.push_back((*device).*field);
    return values;
}

} // namespace

TEST(CloudReply, LoginFieldsAndDefaults)
{
    // Reply, then flag, msg, orgId, newRoleId, accountsId; names match in any case.
    const std::tuple<const char*, int, std::string, int, int, int> cases[] = {
        {R"({"flag":1,"msg":"登录成功","orgId":12,"newRoleId":3,"accountsId":42,"extra":[1]})", 1, "登录成功",
         12, 3, 42},
        {R"({"flag":0,"msg":"用户名或密码错误"})", 0, "用户名或密码错误", -1, 0, 0},
        {R"({"flag":1})", 1, kFailed, -1, 0, 0},
        {R"({"flag":0,"msg":null})", 0, kFailed, -1, 0, 0},
        {R"({"flag":"1","msg":5,"orgId":"12","newRoleId":true,"accountsId":{"v":1}})", 0, kFailed, -1, 0, 0},
        {R"({"FLAG":2,"Msg":"ok","ORGID":5,"newroleid":6,"AccountsID":7})", 2, "ok", 5, 6, 7},
        {R"({"flag":1.9,"orgId":-3,"newRoleId":1e30,"accountsId":-1e30})", 1, kFailed, -3, INT_MAX, INT_MIN},
    };
    for (const auto& c : cases) {
        const CAccountInfo info = CCloudClient::ParseLoginReply(std::get<0>(c));
        EXPECT_EQ(std::tuple(std::get<0>(c), info.flag, info.msg.toStdString(), info.orgId, info.newRoleId,
                             info.accountsId),
                  c);
        EXPECT_TRUE(info.userName.isEmpty());
    }
}

TEST(CloudReply, GatewayFieldsAndDefaults)
{
    const CGatewayListReply reply = CCloudClient::ParseGatewayListReply(
        R"({"flag":1,"msg":"查询成功","count":2,"gwList":[)"
        R"({"gwSn":"GW-A","isOnline":true,"gwName":"一号网关","nodeName":"车间"},)"
        R"({"gwSn":"GW-B","isOnline":false,"gwName":"two","nodeName":"hall","lanIp":"ignored"}]})");
    EXPECT_EQ(std::tuple(reply.flag, reply.msg.toStdString(), reply.count), std::tuple(1, "查询成功", 2));
    ASSERT_EQ(reply.gateways.size(), 2u);
    EXPECT_EQ(Describe(reply.gateways[0]), "GW-A|true|一号网关|车间||-1|0");
    EXPECT_EQ(Describe(reply.gateways[1]), "GW-B|false|two|hall||-1|0");

    // Online only for the JSON value true; null or wrong-typed texts are skipped; every
    // element makes a record, one that is not an object keeps every initial value.
    const CGatewayListReply odd = CCloudClient::ParseGatewayListReply(
        R"({"flag":1,"count":"1","gwList":[{"isOnline":1},{"isOnline":"true"},{"isOnline":null},{"ISONLINE":true},)"
        R"({"gwSn":null,"gwName":7,"nodeName":["x"]},1,"GW"]})");
    EXPECT_EQ(odd.count, 0);
    std::string all;
    for (const CNodeGateway& gateway : odd.gateways)
        all += Describe(gateway) + " ";
    EXPECT_EQ(all,
              "|false||||-1|0 |false||||-1|0 |false||||-1|0 |true||||-1|0 |||||-1|0 |||||-1|0 |||||-1|0 ");
    for (const char* list : {R"("count":0)", R"("gwList":{"gwSn":"A"})", R"("gwList":"A")", R"("gwList":[])"})
        EXPECT_TRUE(
            CCloudClient::ParseGatewayListReply(std::string(R"({"flag":1,)") + list + "}").gateways.empty())
            << list;
}

TEST(CloudReply, DeviceFieldsAndDefaults)
{
    const Devices reply(
        R"({"flag":1,"msg":"ok","count":2,"devList":[)"
        R"({"deviceId":301,"deviceName":"温控器","deviceSn":"DEV-301","ifaceTypeName":"RS485","online":1,)"
        R"("id":"a1b2","ifaceType":2,"ip":"","port":0,"com":"COM2","baud":9600,"databit":8,"parity":2,)"
        R"("stopbit":1,"timeout":500,"protocol":"12","tunType":2,"tunConnectType":1},)"
        R"({"deviceId":302,"deviceName":"PLC","deviceSn":"DEV-302","ifaceTypeName":"以太网","online":0,)"
        R"("id":"c3","ifaceType":3,"ip":"192.168.1.10","port":502,"protocol":"1","tunType":1}]})");
    EXPECT_EQ(std::tuple(reply.flag, reply.msg.toStdString(), reply.count), std::tuple(1, "ok", 2));
    ASSERT_EQ(reply.devices.size(), 2u);
    EXPECT_EQ(Describe(*reply.devices[0]),
              "301|a1b2|温控器|DEV-301|RS485|1|2||0|COM2|9600|8|2|1|500|12|2|1|-1|0|0");
    // A present "online" marks the device whatever its value.
    EXPECT_EQ(Describe(*reply.devices[1]),
              "302|c3|PLC|DEV-302|以太网|1|3|192.168.1.10|502||0|0|0|0|0|1|1|0|-1|0|0");

    // Empty, non-object and wrong-typed elements keep every initial value.
    const Devices odd(
        R"({"flag":1,"devList":[{},7,{"deviceId":"301","deviceName":5,"deviceSn":null,"ifaceType":"2","baud":"9600",)"
        R"("parity":true,"port":[502],"ip":{"a":1},"com":false,"timeout":"1","tunType":"2","id":3}]})");
    ASSERT_EQ(odd.devices.size(), 3u);
    for (const std::unique_ptr<CNodeDevice>& device : odd.devices)
        EXPECT_EQ(Describe(*device), Describe(CNodeDevice()));
    EXPECT_TRUE(Devices(R"({"flag":1,"devList":{"deviceId":1}})").devices.empty());
}

TEST(CloudReply, DeviceOnlineNeedsATextualInterfaceNameAndProtocolIsTheNumberInItsText)
{
    const Devices online(
        R"({"flag":1,"devList":[{"online":false,"ifaceTypeName":"RS232"},{"online":"no","ifaceTypeName":""},)"
        R"({"online":1},{"online":1,"ifaceTypeName":null},{"online":1,"ifaceTypeName":5},)"
        R"({"ifaceTypeName":"RS232"},{"online":null,"ifaceTypeName":"x"}]})");
    const Devices protocol(
        R"({"devList":[{"protocol":"12"},{"protocol":"7abc"},{"protocol":"abc"},{"protocol":""},)"
        R"({"protocol":" -4"},{"protocol":9},{"protocol":true},{"protocol":null},{"protocol":"99999999999"}]})");
    EXPECT_EQ(Each(online, &CNodeDevice::online), (std::vector<int>{1, 1, 0, 0, 0, 0, 1}));
    EXPECT_EQ(Each(protocol, &CNodeDevice::protocol), (std::vector<int>{12, 7, 0, 0, -4, 9, 0, 0, INT_MAX}));
}

TEST(CloudReply, UnparsableOrTruncatedRepliesGiveTheFailedDefaults)
{
    std::vector<std::string> texts = {"",         "<html><body>502 Bad Gateway</body></html>",
                                      "{flag:1}", "\xff\xfe\x00\x01",
                                      "null",     R"([{"flag":1}])",
                                      "17",       R"("flag")"};
    const std::string full =
        R"({"flag":1,"msg":"好","count":1,"devList":[{"deviceId":1,"deviceName":"温控器",)"
        R"("ifaceTypeName":"RS485","online":true,"protocol":"12","baud":9600}]})";
    ASSERT_EQ(Devices(full).devices.size(), 1u);
    for (size_t length = 0; length < full.size(); ++length)
        texts.push_back(full.substr(0, length));
    for (const std::string& text : texts) {
        const CAccountInfo login = CCloudClient::ParseLoginReply(text);
        EXPECT_EQ(std::tuple(login.flag, login.msg.toStdString(), login.orgId), std::tuple(0, kFailed, -1))
            << text;
        const CGatewayListReply gateways = CCloudClient::ParseGatewayListReply(text);
        EXPECT_EQ(
            std::tuple(gateways.flag, gateways.msg.toStdString(), gateways.count, gateways.gateways.size()),
            std::tuple(0, kFailed, 0, size_t(0)))
            << text;
        const Devices devices(text);
        EXPECT_EQ(std::tuple(devices.flag, devices.msg.toStdString(), devices.devices.size()),
                  std::tuple(0, kFailed, size_t(0)))
            << text;
    }
}

TEST(CloudReply, ByteOrderMarkAndInvalidSequencesAreReadAsTheTextConversionReadsThem)
{
    // The text conversion drops one leading byte-order mark and the JSON parser one
    // more; a third makes the reply no JSON, and so does one after a blank.
    const std::string bom = "\xEF\xBB\xBF";
    const std::string login = R"({"flag":1,"msg":"登录成功","orgId":5})";
    EXPECT_EQ(CCloudClient::ParseLoginReply(bom + login).orgId, 5);
    EXPECT_EQ(CCloudClient::ParseLoginReply(bom + bom + login).orgId, 5);
    EXPECT_EQ(CCloudClient::ParseLoginReply(bom + bom + bom + login).orgId, -1);
    EXPECT_EQ(CCloudClient::ParseLoginReply(" " + bom + login).orgId, -1);
    // An invalid sequence becomes U+FFFD, also in a reply that starts with a mark.
    for (const std::string& start : {std::string(), bom}) {
        const CAccountInfo info =
            CCloudClient::ParseLoginReply(start + "{\"flag\":1,\"msg\":\"a\xFF\xC0 b\"}");
        EXPECT_EQ(std::tuple(info.flag, info.msg.toStdString()),
                  std::tuple(1, "a\xEF\xBF\xBD\xEF\xBF\xBD b"));
    }
    // A zero byte ends the text the parser sees, as before.
    EXPECT_EQ(CCloudClient::ParseLoginReply(std::string("{\"flag\":1}\0garbage", 17)).flag, 1);
}
