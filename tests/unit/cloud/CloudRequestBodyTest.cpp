#include "cloud/CCloudClient.h"

#include <gtest/gtest.h>

namespace {

CAccountInfo Account(int newRoleId, int accountsId)
{
    CAccountInfo account;
    account.newRoleId = newRoleId;
    account.accountsId = accountsId;
    account.orgId = 99; // not part of the gateway query
    return account;
}

TEST(CloudLoginBody, KeysInOrderAndTextsAsGiven)
{
    EXPECT_EQ(CCloudClient::BuildLoginBody("alice", "s3cret"), R"({"userName":"alice","passwd":"s3cret"})");
    // Non-ASCII texts go out as their UTF-8 bytes; quotes and backslashes are escaped.
    EXPECT_EQ(CCloudClient::BuildLoginBody("用户", "a\"b\\c"),
              "{\"userName\":\"用户\",\"passwd\":\"a\\\"b\\\\c\"}");
    EXPECT_EQ(CCloudClient::BuildLoginBody("", nullptr), R"({"userName":"","passwd":""})");
}

TEST(CloudQueryGatewayBody, OnlineTypeSelectsKey)
{
    const CAccountInfo account = Account(7, 42);
    const std::string head =
        R"({"roleId":7,"newRoleId":7,"gwSn":"GW1","gwName":"name","nodeName":"node","accountsId":"42")";
    EXPECT_EQ(CCloudClient::BuildQueryGatewayBody(account, "GW1", "name", "node", 1),
              head + R"(,"onlineType":1})");
    EXPECT_EQ(CCloudClient::BuildQueryGatewayBody(account, "GW1", "name", "node", 2),
              head + R"(,"onlineType":0})");
    for (int all : {0, 3, -1, 100})
        EXPECT_EQ(CCloudClient::BuildQueryGatewayBody(account, "GW1", "name", "node", all), head + "}")
            << "onlineType " << all;
}

TEST(CloudQueryGatewayBody, NumbersAndTextsKeepTheirTypes)
{
    EXPECT_EQ(CCloudClient::BuildQueryGatewayBody(Account(0, -5), "", "", "", 0),
              R"({"roleId":0,"newRoleId":0,"gwSn":"","gwName":"","nodeName":"","accountsId":"-5"})");
    EXPECT_EQ(CCloudClient::BuildQueryGatewayBody(Account(2147483647, -2147483647 - 1), nullptr, "网关",
                                                  nullptr, 2),
              R"({"roleId":2147483647,"newRoleId":2147483647,"gwSn":"","gwName":"网关","nodeName":"",)"
              R"("accountsId":"-2147483648","onlineType":0})");
}

TEST(CloudQueryDeviceBody, IdsAreTexts)
{
    EXPECT_EQ(CCloudClient::BuildQueryDeviceBody(12, "GW-0001", 42),
              R"({"orgId":"12","gwSn":"GW-0001","accountsId":"42"})");
    EXPECT_EQ(CCloudClient::BuildQueryDeviceBody(-1, "设备网关", 0),
              R"({"orgId":"-1","gwSn":"设备网关","accountsId":"0"})");
    EXPECT_EQ(CCloudClient::BuildQueryDeviceBody(3, nullptr, 4),
              R"({"orgId":"3","gwSn":"","accountsId":"4"})");
}

} // namespace
