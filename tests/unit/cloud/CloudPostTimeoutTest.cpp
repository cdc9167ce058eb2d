#include "SilentListener.h"

#include "cloud/CCloudClient.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

namespace {

// The connection is accepted by the kernel but nothing ever answers: the request
// ends at libcurl's whole-request limit.
TEST(CloudPostTimeout, ServerThatNeverAnswersTimesOut)
{
    SilentListener listener;
    ASSERT_TRUE(listener.IsListening());
    std::string reply;
    const int code =
        CCloudClient().Post("http://127.0.0.1:" + std::to_string(listener.Port()) + "/CommonService/Login",
                            R"({"userName":"a","passwd":"b"})", &reply);
    EXPECT_EQ(code, CURLE_OPERATION_TIMEDOUT);
    EXPECT_TRUE(reply.empty());
}

} // namespace
