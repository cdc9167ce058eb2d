#include "LocalServers.h"
#include "cloud/CCloudClient.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

// The connection is accepted by the kernel but never answered: the request ends at
// libcurl's whole-request limit.
TEST(CloudPostTimeout, ServerThatNeverAnswersTimesOut)
{
    SilentListener listener;
    ASSERT_GT(listener.Port(), 0);
    std::string reply;
    EXPECT_EQ(CCloudClient().Post(LoopbackUrl(listener.Port(), "/CommonService/Login"),
                                  R"({"userName":"a","passwd":"b"})", &reply),
              CURLE_OPERATION_TIMEDOUT);
    EXPECT_TRUE(reply.empty());
}
