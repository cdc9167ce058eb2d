#include "LocalHttpServer.h"
#include "SilentListener.h"

#include "cloud/CCloudClient.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <memory>

namespace {

class CloudPost : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(server_.Start()); }

    LocalHttpServer server_;
};

TEST_F(CloudPost, SendsBodyAndCollectsReply)
{
    server_.SetReply(200, R"({"flag":1,"msg":"好"})");
    const std::string body = R"({"userName":"张三","passwd":"p"})";
    std::string reply = "kept:";
    EXPECT_EQ(CCloudClient().Post(server_.Url("/CommonService/Login"), body, &reply), CURLE_OK);
    EXPECT_EQ(reply, R"(kept:{"flag":1,"msg":"好"})");

    const auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].path, "/CommonService/Login");
    EXPECT_EQ(requests[0].body, body);
    // No header list is set: libcurl's default type for posted fields goes out.
    EXPECT_EQ(requests[0].contentType, "application/x-www-form-urlencoded");
}

TEST_F(CloudPost, LargeReplyArrivesWhole)
{
    std::string big;
    for (int i = 0; big.size() < 300000; ++i)
        big += std::to_string(i) + ',';
    server_.SetReply(200, big, "text/plain");
    std::string reply;
    EXPECT_EQ(CCloudClient().Post(server_.Url("/x"), "{}", &reply), CURLE_OK);
    EXPECT_EQ(reply, big);
}

TEST_F(CloudPost, ErrorStatusBodyIsHandedOn)
{
    server_.SetReply(500, "<html>internal error</html>", "text/html");
    std::string reply;
    EXPECT_EQ(CCloudClient().Post(server_.Url("/CommonService/QueryGateway"), "{}", &reply), CURLE_OK);
    EXPECT_EQ(reply, "<html>internal error</html>");

    server_.SetReply(404, R"({"flag":0,"msg":"no such action"})");
    reply.clear();
    EXPECT_EQ(CCloudClient().Post(server_.Url("/CommonService/Nope"), "", &reply), CURLE_OK);
    EXPECT_EQ(reply, R"({"flag":0,"msg":"no such action"})");
}

TEST_F(CloudPost, MissingReplyBufferIsAWriteError)
{
    server_.SetReply(200, "something");
    EXPECT_EQ(CCloudClient().Post(server_.Url("/x"), "{}", nullptr), CURLE_WRITE_ERROR);
    EXPECT_EQ(server_.Requests().size(), 1u);
}

TEST_F(CloudPost, OperationsPostToTheirActionsAndParseReplies)
{
    CCloudClient::SetEndpoint("127.0.0.1", server_.Port());
    CCloudClient client;

    server_.SetReply(200, R"({"flag":1,"msg":"ok","orgId":12,"newRoleId":3,"accountsId":42})");
    const CAccountInfo account = client.Login("alice", "pw");
    EXPECT_EQ(account.flag, 1);
    EXPECT_EQ(account.orgId, 12);
    EXPECT_EQ(account.newRoleId, 3);
    EXPECT_EQ(account.accountsId, 42);

    server_.SetReply(200, R"({"flag":1,"count":1,"gwList":[{"gwSn":"GW1","isOnline":true}]})");
    const CGatewayListReply gateways = client.QueryGateway(account, "GW", "", "", 1);
    ASSERT_EQ(gateways.gateways.size(), 1u);
    EXPECT_EQ(gateways.gateways[0].gwSn, "GW1");
    EXPECT_TRUE(gateways.gateways[0].IsOnline());

    server_.SetReply(200, R"({"flag":1,"count":1,"devList":[{"deviceSn":"D1","protocol":"3"}]})");
    const CDeviceListReply devices = client.QueryDeviceByGw(account.orgId, "GW1", account.accountsId);
    ASSERT_EQ(devices.devices.size(), 1u);
    std::unique_ptr<CNodeDevice> device(devices.devices[0]);
    EXPECT_EQ(device->deviceSn, "D1");
    EXPECT_EQ(device->protocol, 3);

    const auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].path, "/CommonService/Login");
    EXPECT_EQ(requests[0].body, R"({"userName":"alice","passwd":"pw"})");
    EXPECT_EQ(requests[1].path, "/CommonService/QueryGateway");
    EXPECT_EQ(
        requests[1].body,
        R"({"roleId":3,"newRoleId":3,"gwSn":"GW","gwName":"","nodeName":"","accountsId":"42","onlineType":1})");
    EXPECT_EQ(requests[2].path, "/CommonService/QueryDeviceByGw");
    EXPECT_EQ(requests[2].body, R"({"orgId":"12","gwSn":"GW1","accountsId":"42"})");
}

TEST_F(CloudPost, ErrorPageGivesFailedRecord)
{
    CCloudClient::SetEndpoint("127.0.0.1", server_.Port());
    server_.SetReply(502, "<html>Bad Gateway</html>", "text/html");
    const CAccountInfo account = CCloudClient().Login("alice", "pw");
    EXPECT_EQ(account.flag, 0);
    EXPECT_EQ(account.msg, CReplyBase::DefaultMessage());
    EXPECT_EQ(account.orgId, -1);

    server_.SetReply(200, R"({"flag":1,"gwList":[{"gwSn":"GW1"})");
    const CGatewayListReply truncated = CCloudClient().QueryGateway(account, "", "", "", 0);
    EXPECT_EQ(truncated.flag, 0);
    EXPECT_TRUE(truncated.gateways.empty());
}

TEST(CloudPostUnreachable, RefusedConnectionReturnsCurlCode)
{
    SilentListener listener;
    ASSERT_TRUE(listener.IsListening());
    const int port = listener.Port();
    listener.Close();

    std::string reply;
    const int code = CCloudClient().Post("http://127.0.0.1:" + std::to_string(port) + "/CommonService/Login",
                                         "{}", &reply);
    EXPECT_EQ(code, CURLE_COULDNT_CONNECT);
    EXPECT_TRUE(reply.empty());

    CCloudClient::SetEndpoint("127.0.0.1", port);
    const CDeviceListReply devices = CCloudClient().QueryDeviceByGw(1, "GW", 2);
    EXPECT_EQ(devices.flag, 0);
    EXPECT_EQ(devices.msg, CReplyBase::DefaultMessage());
    EXPECT_TRUE(devices.devices.empty());
}

TEST(CloudPostUnreachable, MalformedUrlReturnsCurlCode)
{
    std::string reply;
    EXPECT_NE(CCloudClient().Post("http://", "{}", &reply), CURLE_OK);
    EXPECT_NE(CCloudClient().Post("", "{}", &reply), CURLE_OK);
    EXPECT_TRUE(reply.empty());
}

TEST(CloudWriteCallback, AppendsOrRefuses)
{
    std::string buffer = "a";
    char data[] = "bcdef";
    EXPECT_EQ(CCloudClient::WriteCallback(data, 1, 3, &buffer), 3u);
    EXPECT_EQ(buffer, "abcd");
    EXPECT_EQ(CCloudClient::WriteCallback(data, 1, 0, &buffer), 0u);
    EXPECT_EQ(buffer, "abcd");
    EXPECT_EQ(CCloudClient::WriteCallback(nullptr, 1, 3, &buffer), static_cast<size_t>(-1));
    EXPECT_EQ(CCloudClient::WriteCallback(data, 1, 3, nullptr), static_cast<size_t>(-1));
    EXPECT_EQ(buffer, "abcd");
}

} // namespace
