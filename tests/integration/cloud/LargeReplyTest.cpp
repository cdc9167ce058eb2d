// The cloud client's size limit, to the byte, against a web service that sends
// more than any real reply. What a 300 MB reply does to the program's memory, and
// what long lists cost, lumetra-cli's tests measure on the whole program.

#include "cloud/CCloudClient.h"
#include "support/BulkWebService.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <string>

namespace {

class LargeReplyTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_GT(service.Port(), 0);
        client = CCloudClient("127.0.0.1", service.Port());
    }

    BulkWebService service;
    CCloudClient client;
};

TEST_F(LargeReplyTest, ReplyOfExactlyTheLimitArrivesWholeAndOneByteMoreIsDropped)
{
    const std::string url = "http://127.0.0.1:" + std::to_string(service.Port()) + "/CommonService/Login";
    for (const bool announced : {false, true}) {
        service.SetFlood(CCloudClient::kMaxReplyBytes, announced);
        std::string reply = "kept:";
        EXPECT_EQ(client.Post(url, "{}", &reply), CURLE_OK);
        EXPECT_EQ(reply.size(), 5 + CCloudClient::kMaxReplyBytes);
        EXPECT_EQ(reply.compare(0, 6, "kept:{"), 0);

        // One byte more: refused before the body when the length is announced, cut
        // off when it passes the limit otherwise. The buffer keeps only what it held.
        service.SetFlood(CCloudClient::kMaxReplyBytes + 1, announced);
        reply = "kept:";
        EXPECT_EQ(client.Post(url, "{}", &reply), announced ? CURLE_FILESIZE_EXCEEDED : CURLE_WRITE_ERROR);
        EXPECT_EQ(reply, "kept:");
    }
}

} // namespace
