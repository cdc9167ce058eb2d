#include "cloud/CCloudClient.h"

#include <gtest/gtest.h>

TEST(CloudEndpoint, PortChoosesTheSchemeAndTheUrlCarriesThePort)
{
    for (const auto& [port, scheme] : {std::pair(443, "https://"),
                                       {8443, "https://"},
                                       {10443, "https://"},
                                       {444, "http://"},
                                       {8080, "http://"},
                                       {-443, "http://"}}) {
        const CCloudClient client("svc.example", port);
        EXPECT_EQ(client.Scheme(), scheme) << port;
        EXPECT_EQ(client.BaseUrl(),
                  std::string(scheme) + "svc.example:" + std::to_string(port) + "/CommonService/");
    }
    EXPECT_EQ(CCloudClient(nullptr, 8080).BaseUrl(), "http://:8080/CommonService/");
}

TEST(CloudRequestBody, KeysInOrderTextsAsGivenAndIdsAsTheirTypes)
{
    EXPECT_EQ(CCloudClient::BuildLoginBody("alice", "s3cret"), R"({"userName":"alice","passwd":"s3cret"})");
    // Non-ASCII texts go out as their UTF-8 bytes; quotes and backslashes are escaped.
    EXPECT_EQ(CCloudClient::BuildLoginBody("用户", "a\"b\\c"), R"({"userName":"用户","passwd":"a\"b\\c"})");
    EXPECT_EQ(CCloudClient::BuildLoginBody("", nullptr), R"({"userName":"","passwd":""})");
    EXPECT_EQ(CCloudClient::BuildQueryDeviceBody(-1, "设备网关", 42),
              R"({"orgId":"-1","gwSn":"设备网关","accountsId":"42"})");
    EXPECT_EQ(CCloudClient::BuildQueryDeviceBody(3, nullptr, 4),
              R"({"orgId":"3","gwSn":"","accountsId":"4"})");

    CAccountInfo account{{}, 99, 7, 42, {}}; // orgId 99 is not part of the gateway query
    const std::string head =
        R"({"roleId":7,"newRoleId":7,"gwSn":"GW1","gwName":"name","nodeName":"node","accountsId":"42")";
    // onlineType 1 asks for online gateways, 2 for offline ones (sent as 0), anything else for all.
    for (const auto& [type, tail] :
         {std::pair(1, R"(,"onlineType":1})"), {2, R"(,"onlineType":0})"}, {0, "}"}, {3, "}"}, {-1, "}"}})
        EXPECT_EQ(CCloudClient::BuildQueryGatewayBody(account, "GW1", "name", "node", type), head + tail)
            << type;
    account.newRoleId = INT32_MAX;
    account.accountsId = INT32_MIN;
    EXPECT_EQ(CCloudClient::BuildQueryGatewayBody(account, nullptr, "网关", nullptr, 2),
              R"({"roleId":2147483647,"newRoleId":2147483647,"gwSn":"","gwName":"网关","nodeName":"",)"
              R"("accountsId":"-2147483648","onlineType":0})");
}
