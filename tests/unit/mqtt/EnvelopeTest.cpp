// The printed bytes of every outbound message of the command table and the topic
// buffers.

#include "mqtt-c/mqtt_commands.h"
#include "mqtt-c/mqtt_envelope.h"
#include "mqtt-c/mqtt_topics.h"

#include <gtest/gtest.h>

#include <cjson/cJSON.h>

#include <cstring>
#include <string>

namespace {

const char* const kPc = "17250000001234567890";
const char* const kGw = "GW0001";
const char* const kDev = "DEV-7";

TEST(OutboundMessages, PrintedBytesOfEveryEnvelopeAndRequest)
{
    const std::string tunnel =
        "{\"ctrl_root\":{\"forward_topic\":\"/ipc/kavno/publish/lumetra\"},\"payload_root\":{";
    const std::string open = "{\"ctrl_root\":{\"forward_topic\":\"/ipc/kavno/publish\"},\"payload_root\":{";
    const std::string ids = ",\"dev_sn\":\"DEV-7\",\"pc_id\":\"17250000001234567890\"";
    const std::string binder = "\"gw_sn\":\"GW0001\",\"dev_sn\":\"DEV-7\",\"pc_id\":\"17250000001234567890\"";
    const std::string link =
        "\"link_type\":1,\"pc_id\":\"17250000001234567890\",\"gw_sn\":\"GW0001\",\"dev_sn\":\"DEV-7\"";
    const std::pair<cJSON*, std::string> table[] = {
        {mqtt_build_target_request_local(kDev, kPc), tunnel + "\"cmdId\":2981" + ids + "}}"},
        {mqtt_build_empty_command(kDev, kPc), tunnel + "\"cmdId\":2985" + ids + "}}"},
        {mqtt_build_ack(kDev, kPc, 4000000000u), tunnel + "\"cmdId\":2987" + ids + ",\"seq\":4000000000}}"},
        {mqtt_build_data(kDev, kPc, 12, 1, "abc", 3),
         tunnel + "\"cmdId\":2990" + ids + ",\"pt_sn\":12,\"tun_type\":1,\"pt_payload\":\"YWJj\"}}"},
        {mqtt_build_serial_data(kDev, kPc, 13, 2, "ab", 2, 1),
         tunnel + "\"cmdId\":2990" + ids +
             ",\"pt_sn\":13,\"tun_type\":2,\"pt_payload\":\"YWI=\",\"pt_len\":2,\"sock_new\":1}}"},
        {mqtt_build_target_request(kDev, kPc, 1, "192.168.1.20", 502),
         tunnel + "\"cmdId\":2992" + ids + ",\"tun_type\":1,\"dev_ip\":\"192.168.1.20\",\"dev_port\":502}}"},
        {mqtt_build_reply_2994(kDev, kPc), tunnel + "\"cmdId\":2994" + ids + "}}"},
        {mqtt_build_open_request(kDev, kPc), open + "\"cmdId\":2996" + ids + "}}"},
        {mqtt_build_unbind(kDev, kPc), open + "\"cmdId\":2998" + ids + "}}"},
        // Texts are carried as UTF-8 with escapes, a null text as empty.
        {mqtt_build_open_request("设备\"1", nullptr),
         open + "\"cmdId\":2996,\"dev_sn\":\"设备\\\"1\",\"pc_id\":\"\"}}"},
        {mqtt_build_leave_pc(kPc), "{\"cmd_id\":2978,\"pc_id\":\"17250000001234567890\"}"},
        {mqtt_build_bind_request(kGw, kDev, kPc), "{\"cmd_id\":2983," + binder + "}"},
        {mqtt_build_link_parameters(kPc, kGw, kDev, "COM3", 9600, 'N', 8, 1),
         "{\"cmd_id\":3000," + link +
             ",\"com\":\"COM3\",\"baud\":9600,\"parity\":\"N\",\"data_bit\":8,\"stop_bit\":1}"},
        {mqtt_build_link_release(kPc, kGw, kDev), "{\"cmd_id\":3002," + link + "}"},
        {mqtt_build_port_transfer_release(kGw, kDev, kPc),
         "{\"cmd_id\":3002," + binder + ",\"restart_gw_service\":0}"},
        {mqtt_build_vpn_channel_request(kGw, kPc),
         "{\"gwSn\":\"GW0001\",\"cmdId\":97,\"pcId\":\"17250000001234567890\"}"},
        {mqtt_build_vpn_switch_on(kGw, "192.168.1.1", "255.255.255.0", kPc),
         "{\"gwSn\":\"GW0001\",\"cmdId\":99,\"lanIp\":\"192.168.1.1\",\"lanMask\":\"255.255.255.0\",\"pcId\":"
         "\"17250000001234567890\",\"switchOn\":1}"},
        {mqtt_build_vpn_switch_off(kGw, 1194, kPc), "{\"gwSn\":\"GW0001\",\"vpnPort\":1194,\"switchOn\":0,"
                                                    "\"pcId\":\"17250000001234567890\",\"cmdId\":99}"},
    };
    for (const auto& [message, expected] : table) {
        EXPECT_EQ(mqtt_json_print(message), expected);
        cJSON_Delete(message);
    }
}

TEST(Topics, FormattedIntoFixedBuffers)
{
    char topic[kTopicBufferSize];
    mqtt_format_down_topic(topic, kGw);
    EXPECT_STREQ(topic, "/GW0001/down");
    mqtt_format_transparent_topic(topic, kGw);
    EXPECT_STREQ(topic, "/sys/transparent/GW0001/down");
    mqtt_copy_binder_topic(topic);
    EXPECT_STREQ(topic, "/sys/varnex_binder/sub");

    // A serial number too long for the buffer is cut, never written past it.
    const std::string longSerial(400, 'G');
    mqtt_format_down_topic(topic, longSerial.c_str());
    EXPECT_EQ(std::strlen(topic), kTopicBufferSize - 1);
    EXPECT_EQ(std::string(topic).substr(0, 2), "/G");
}

} // namespace
