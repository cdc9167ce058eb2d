#include "LocalServers.h"
#include "cloud/CCloudClient.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <memory>

TEST(CloudPost, SendsTheBodyAndHandsOnWhateverComesBack)
{
    LocalHttpServer server;
    ASSERT_GT(server.Port(), 0);
    std::string big;
    for (int i = 0; big.size() < 300000; ++i)
        big += std::to_string(i) + ',';
    // Error statuses and pages are handed on like any reply; a large one arrives whole.
    const std::string body = R"({"userName":"张三","passwd":"p"})";
    for (const auto& [status, text] : {std::pair(200, std::string(R"({"flag":1,"msg":"好"})")),
                                       {500, "<html>internal error</html>"},
                                       {404, R"({"flag":0})"},
                                       {200, big}}) {
        server.SetReply(status, text, "text/html");
        std::string reply = "kept:";
        EXPECT_EQ(CCloudClient().Post(LoopbackUrl(server.Port(), "/CommonService/Login"), body, &reply),
                  CURLE_OK);
        EXPECT_EQ(reply, "kept:" + text);
    }
    EXPECT_EQ(CCloudClient().Post(LoopbackUrl(server.Port(), "/x"), "{}", nullptr), CURLE_WRITE_ERROR);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 5u);
    // No header list is set: libcurl's default type for posted fields goes out.
    EXPECT_EQ(requests[0], "POST /CommonService/Login application/x-www-form-urlencoded " + body);
}

TEST(CloudPost, OperationsPostToTheirActionsAndParseReplies)
{
    LocalHttpServer server;
    ASSERT_GT(server.Port(), 0);
    CCloudClient::SetEndpoint("127.0.0.1", server.Port());
    CCloudClient client;
    server.SetReply(200, R"({"flag":1,"msg":"ok","orgId":12,"newRoleId":3,"accountsId":42})");
    const CAccountInfo account = client.Login("alice", "pw");
    EXPECT_EQ(std::tuple(account.flag, account.orgId, account.newRoleId, account.accountsId),
              std::tuple(1, 12, 3, 42));
    server.SetReply(200, R"({"flag":1,"count":1,"gwList":[{"gwSn":"GW1","isOnline":true}]})");
    const CGatewayListReply gateways = client.QueryGateway(account, "GW", "", "", 1);
    ASSERT_EQ(gateways.gateways.size(), 1u);
    EXPECT_EQ(gateways.gateways[0].gwSn, "GW1");
    server.SetReply(200, R"({"flag":1,"count":1,"devList":[{"deviceSn":"D1","protocol":"3"}]})");
    const CDeviceListReply devices = client.QueryDeviceByGw(account.orgId, "GW1", account.accountsId);
    ASSERT_EQ(devices.devices.size(), 1u);
    EXPECT_EQ(std::unique_ptr<CNodeDevice>(devices.devices[0])->protocol, 3);
    EXPECT_EQ(
        server.Requests(),
        (std::vector<std::string>{
            "POST /CommonService/Login application/x-www-form-urlencoded "
            R"({"userName":"alice","passwd":"pw"})",
            "POST /CommonService/QueryGateway application/x-www-form-urlencoded "
            R"({"roleId":3,"newRoleId":3,"gwSn":"GW","gwName":"","nodeName":"","accountsId":"42","onlineType":1})",
            "POST /CommonService/QueryDeviceByGw application/x-www-form-urlencoded "
            R"({"orgId":"12","gwSn":"GW1","accountsId":"42"})"}));

    // An error page, or a cut reply, gives the failed record.
    server.SetReply(502, "<html>Bad Gateway</html>", "text/html");
    const CAccountInfo failed = client.Login("alice", "pw");
    EXPECT_EQ(std::tuple(failed.flag, failed.msg, failed.orgId),
              std::tuple(0, CReplyBase::DefaultMessage(), -1));
    server.SetReply(200, R"({"flag":1,"gwList":[{"gwSn":"GW1"})");
    const CGatewayListReply truncated = client.QueryGateway(account, "", "", "", 0);
    EXPECT_EQ(std::tuple(truncated.flag, truncated.gateways.size()), std::tuple(0, size_t(0)));
}

TEST(CloudPost, RefusedConnectionOrMalformedUrlGivesCurlCodeAndDefaults)
{
    SilentListener listener;
    const int port = listener.Port();
    ASSERT_GT(port, 0);
    listener.Close();
    std::string reply;
    EXPECT_EQ(CCloudClient().Post(LoopbackUrl(port, "/CommonService/Login"), "{}", &reply),
              CURLE_COULDNT_CONNECT);
    EXPECT_NE(CCloudClient().Post("http://", "{}", &reply), CURLE_OK);
    EXPECT_NE(CCloudClient().Post("", "{}", &reply), CURLE_OK);
    EXPECT_TRUE(reply.empty());
    CCloudClient::SetEndpoint("127.0.0.1", port);
    const CDeviceListReply devices = CCloudClient().QueryDeviceByGw(1, "GW", 2);
    EXPECT_EQ(std::tuple(devices.flag, devices.msg, devices.devices.size()),
              std::tuple(0, CReplyBase::DefaultMessage(), size_t(0)));
}
