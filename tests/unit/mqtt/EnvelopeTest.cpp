// Outbound messages at the edges of their values, and the topic buffers.

#include "mqtt-c/mqtt_commands.h"
#include "mqtt-c/mqtt_envelope.h"
#include "mqtt-c/mqtt_topics.h"

#include <gtest/gtest.h>

#include <cjson/cJSON.h>

#include <string>

namespace {

const char* const kPc = "17250000001234567890";
const char* const kGw = "GW0001";
const char* const kDev = "DEV-7";

// The printed bytes of every message the tunnels send are checked where the tunnels
// send them (the tunnel tests and the end-to-end flows); here the values those flows
// do not reach.
TEST(OutboundMessages, TextsAreEscapedUtf8AndNumbersKeepTheirRange)
{
    const std::pair<JsonPtr, std::string> table[] = {
        {mqtt_build_open_request("设备\"1", nullptr),
         R"({"ctrl_root":{"forward_topic":"/ipc/kavno/publish"},"payload_root":)"
         R"({"cmdId":2996,"dev_sn":"设备\"1","pc_id":""}})"},
        {mqtt_build_ack(kDev, kPc, 4000000000u),
         R"({"ctrl_root":{"forward_topic":"/ipc/kavno/publish/lumetra"},"payload_root":)"
         R"({"cmdId":2987,"dev_sn":"DEV-7","pc_id":"17250000001234567890","seq":4000000000}})"},
    };
    for (const auto& [message, expected] : table)
        EXPECT_EQ(mqtt_json_print(message.get()), expected);
}

TEST(Topics, GatewaySerialsAreOneTopicLevelOrNoTopicAtAll)
{
    char topic[kTopicBufferSize];
    EXPECT_TRUE(mqtt_format_down_topic(topic, kGw));
    EXPECT_STREQ(topic, "/GW0001/down");
    EXPECT_TRUE(mqtt_format_transparent_topic(topic, kGw));
    EXPECT_STREQ(topic, "/sys/transparent/GW0001/down");
    mqtt_copy_binder_topic(topic);
    EXPECT_STREQ(topic, "/sys/varnex_binder/sub");

    // A serial that would reach other topics (wildcards, separators) or that is too
    // long or empty gives an empty topic, so nothing can be published with it.
    const std::string longSerial(400, 'G');
    for (const char* serial : {"+", "#", "GW/1", "", "GW\n1", longSerial.c_str()}) {
        SCOPED_TRACE(serial);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(mqtt_format_down_topic(topic, serial));
        EXPECT_STREQ(topic, "");
        EXPECT_FALSE(mqtt_format_transparent_topic(topic, serial));
        EXPECT_STREQ(topic, "");
        EXPECT_EQ(testing::internal::GetCapturedStderr().find("dropped message to gateway"), 0u);
    }
}

} // namespace
