#include "LocalServers.h"
#include "cloud/CCloudClient.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

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
    const CDeviceListReply devices = CCloudClient("127.0.0.1", port).QueryDeviceByGw(1, "GW", 2);
    EXPECT_EQ(std::tuple(devices.flag, devices.msg, devices.devices.size()),
              std::tuple(0, CReplyBase::DefaultMessage(), size_t(0)));
}
