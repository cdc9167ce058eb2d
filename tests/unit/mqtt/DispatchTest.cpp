// Inbound dispatch on one thread: which window message each inbound message becomes,
// with which parameters, and what is dropped.

#include "RecordingWindow.h"
#include "cloud/CNodeGateway.h"
#include "mqtt-c/DispatchLinePrinter.h"
#include "mqtt-c/VpnInfoRecord.h"
#include "mqtt-c/mosquitto_wrapper.h"
#include "mqtt-c/mqtt_dispatch.h"
#include "platform/WindowMessages.h"

#include <gtest/gtest.h>

#include <cjson/cJSON.h>

#include <cstring>
#include <string>

namespace {

// Keeps copies of the records while the handler runs.
class CapturingWindow : public RecordingWindow
{
public:
    CNodeGateway status;
    VpnInfoRecord vpn;
    std::string serial;
    std::string rawTopic;
    std::string rawPayload;

protected:
    void AfterRecord(const Entry& entry) override
    {
        switch (entry.msg) {
        case WM_GATEWAY_STATUS:
            status = *reinterpret_cast<const CNodeGateway*>(entry.wParam);
            break;
        case WM_VPN_CHANNEL_REPLY:
        case WM_VPN_CHANNEL_ENDED:
            vpn = *reinterpret_cast<const VpnInfoRecord*>(entry.wParam);
            break;
        case WM_SERIAL_TUNNEL_READY:
            serial = reinterpret_cast<const char*>(entry.wParam);
            break;
        case WM_TRANS_COM_RAW: {
            const mqtt_raw_record* raw = reinterpret_cast<const mqtt_raw_record*>(entry.wParam);
            rawTopic = raw->topic;
            rawPayload.assign(raw->payload, static_cast<size_t>(raw->length));
            break;
        }
        default:
            break;
        }
    }
};

class Dispatch : public ::testing::Test
{
protected:
    void SetUp() override { mqtt_set_target_window(&window_); }
    void TearDown() override { mqtt_set_target_window(nullptr); }

    void Deliver(const std::string& json, const char* topic = "/17250000001234567890/lumetraToPC")
    {
        mqtt_dispatch(topic, json.data(), static_cast<int>(json.size()));
    }

    CapturingWindow window_;
};

TEST_F(Dispatch, TunnelTrafficCarriesItsRoutingCode)
{
    const std::pair<int, LPARAM> table[] = {
        {2980, WM_USER + 1047}, {2984, 2984},           {2986, WM_USER + 1045}, {2987, 2987},
        {2988, WM_USER + 1043}, {2991, WM_USER + 1042}, {2993, WM_USER + 1041}, {2995, WM_USER + 1036},
        {2997, WM_USER + 1035}, {3001, 3001},           {3003, WM_USER + 1039}};
    for (const auto& [cmdId, code] : table) {
        window_.Clear();
        const std::string json =
            "{\"cmdId\":" + std::to_string(cmdId) + ",\"gw_sn\":\"GW1\",\"dev_sn\":\"D1\"}";
        Deliver(json);
        const auto entries = window_.Entries();
        ASSERT_EQ(entries.size(), 1u) << cmdId;
        EXPECT_EQ(entries[0].msg, WM_USER + 1037) << cmdId;
        EXPECT_EQ(entries[0].lParam, code) << cmdId;
        EXPECT_EQ(entries[0].line, std::to_string(WM_USER + 1037) + " " + std::to_string(code) + " " + json);
        EXPECT_EQ(mqtt_route_code(cmdId), code);
    }
}

TEST_F(Dispatch, OtherCodesAreIgnored)
{
    for (int cmdId : {0, 97, 99, 2978, 2983, 2985, 2990, 2992, 2994, 2996, 2998, 3000, 3002, 3012, 123456}) {
        Deliver("{\"cmdId\":" + std::to_string(cmdId) + ",\"gw_sn\":\"GW1\"}");
        EXPECT_EQ(mqtt_route_code(cmdId), 0) << cmdId;
    }
    EXPECT_EQ(window_.Count(), 0u);
}

TEST_F(Dispatch, GatewayStatusRecord)
{
    Deliver("{\"cmdId\":98,\"flag\":1,\"gwSn\":\"GW1\",\"lanIp\":\"192.168.1.1\",\"csq\":\"27\",\"lanMask\":"
            "\"255.255.255.0\"}");
    ASSERT_EQ(window_.Count(), 1u);
    const auto entry = window_.Entries()[0];
    EXPECT_EQ(entry.msg, WM_USER + 1009);
    EXPECT_EQ(entry.lParam, 0);
    EXPECT_EQ(window_.status.stateFlag, 1);
    EXPECT_EQ(window_.status.gwSn, "GW1");
    EXPECT_EQ(window_.status.lanIp, "192.168.1.1");
    EXPECT_EQ(window_.status.csq, "27");
    EXPECT_EQ(window_.status.lanMask, "255.255.255.0");
    EXPECT_EQ(entry.line,
              "2033 0 {\"flag\":1,\"gwSn\":\"GW1\",\"lanIp\":\"192.168.1.1\",\"csq\":\"27\",\"lanMask\":"
              "\"255.255.255.0\"}");
}

TEST_F(Dispatch, GatewayStatusKeepsDefaultsOfAbsentMembers)
{
    Deliver("{\"cmdId\":98,\"gwSn\":\"GW2\",\"lanIp\":null}");
    ASSERT_EQ(window_.Count(), 1u);
    EXPECT_EQ(window_.status.gwSn, "GW2");
    EXPECT_EQ(window_.status.csq, "-1");
    EXPECT_EQ(window_.status.stateFlag, 0);
    EXPECT_EQ(window_.status.lanIp, "");
    // A signal value sent as a number is kept as its text.
    Deliver("{\"cmdId\":98,\"gwSn\":\"GW2\",\"csq\":31}");
    EXPECT_EQ(window_.status.csq, "31");
}

TEST_F(Dispatch, VpnInformationWithSwitchOn)
{
    Deliver("{\"cmdId\":100,\"gwSn\":\"GW1\",\"vpnserverIp\":\"10.1.1.1\",\"busiCode\":0,\"pcId\":\"P1\","
            "\"vpnport\":"
            "1194,\"userName\":\"u\",\"passwd\":\"p\",\"isSwitchOn\":1,\"flag\":1,\"msg\":\"ok\"}");
    ASSERT_EQ(window_.Count(), 1u);
    EXPECT_EQ(window_.Entries()[0].msg, WM_USER + 1004);
    const VpnInfoRecord& r = window_.vpn;
    EXPECT_EQ(r.gwSn, "GW1");
    EXPECT_EQ(r.vpnServerIp, "10.1.1.1");
    EXPECT_EQ(r.busiCode, 0);
    EXPECT_EQ(r.pcId, "P1");
    EXPECT_EQ(r.vpnPort, 1194);
    EXPECT_EQ(r.userName, "u");
    EXPECT_EQ(r.password, "p");
    EXPECT_EQ(r.isSwitchOn, 1);
    EXPECT_EQ(r.flag, 1);
    EXPECT_EQ(r.msg, "ok");
}

TEST_F(Dispatch, VpnInformationWithoutSwitchOn)
{
    Deliver("{\"cmdId\":100,\"gwSn\":\"GW1\",\"isSwitchOn\":0}");
    Deliver("{\"cmdId\":100,\"gwSn\":\"GW1\",\"busiCode\":3}");
    Deliver("{\"cmdId\":100,\"isSwitchOn\":\"1\"}");
    const auto entries = window_.Entries();
    ASSERT_EQ(entries.size(), 3u);
    for (const auto& entry : entries) {
        EXPECT_EQ(entry.msg, WM_USER + 1005);
    }
    EXPECT_EQ(window_.vpn.gwSn, "");
    EXPECT_EQ(window_.vpn.busiCode, 0);
}

TEST_F(Dispatch, SerialTunnelReadyNeedsBothMembers)
{
    Deliver("{\"cmdId\":1011,\"gwSn\":\"GW1\",\"devId\":77}");
    Deliver("{\"cmdId\":1011,\"gwSn\":\"GW1\"}");
    Deliver("{\"cmdId\":1011,\"devId\":77}");
    const auto entries = window_.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].msg, WM_USER + 1024);
    EXPECT_EQ(entries[0].lParam, 77);
    EXPECT_EQ(window_.serial, "GW1");
}

TEST_F(Dispatch, ResultWithoutTunnelGoesAsReply)
{
    const std::string json =
        "{\"cmdId\":3010,\"flag\":0,\"msg\":\"busy\",\"encode\":\"ascii\",\"errcode\":1}";
    Deliver(json);
    const auto entries = window_.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].msg, WM_USER + 1028);
    EXPECT_EQ(entries[0].wParam, 0u);
    EXPECT_NE(entries[0].lParam, 0);
    EXPECT_EQ(entries[0].line, "2052 0 " + json);
}

TEST_F(Dispatch, MalformedOrIncompleteMessagesAreDropped)
{
    Deliver("{\"cmdId\":2984,");
    Deliver("not json at all");
    Deliver("{\"gw_sn\":\"GW1\",\"cmd\":2984}");
    Deliver("[2984]");
    Deliver("");
    mqtt_dispatch("/t", nullptr, 5);
    mqtt_dispatch_command("{\"cmdId\":2984}", 0);
    mqtt_dispatch_command("{\"cmdId\":2984}", -3);
    EXPECT_EQ(window_.Count(), 0u);
}

TEST_F(Dispatch, KeyInCapitalsIsDispatchedLikeCmdId)
{
    Deliver("{\"CMDID\":2984,\"GW_SN\":\"GW1\",\"is_bind\":0}");
    const auto entries = window_.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].msg, WM_USER + 1037);
    EXPECT_EQ(entries[0].lParam, 2984);
}

TEST_F(Dispatch, PayloadIsReadOnlyUpToItsLength)
{
    const char buffer[] = "{\"cmdId\":2984}{\"cmdId\":2993}";
    mqtt_dispatch("/p/lumetraToPC", buffer, 14);
    const auto entries = window_.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].lParam, 2984);
}

TEST_F(Dispatch, RawTopicIsNeverParsed)
{
    const std::string json = "{\"cmdId\":2984,\"gw_sn\":\"GW1\"}";
    Deliver(json, "/sys/trans_com/GW1");
    Deliver("\x01\x02 binary", "/sys/trans_com/");
    const auto entries = window_.Entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].msg, WM_USER + 1025);
    EXPECT_EQ(entries[1].msg, WM_USER + 1025);
    EXPECT_EQ(window_.rawTopic, "/sys/trans_com/");
    EXPECT_EQ(window_.rawPayload, "\x01\x02 binary");

    // A topic shorter than the prefix takes the JSON path.
    window_.Clear();
    Deliver(json, "/sys/trans_com");
    ASSERT_EQ(window_.Count(), 1u);
    EXPECT_EQ(window_.Entries()[0].msg, WM_USER + 1037);
}

TEST_F(Dispatch, NothingIsSentWithoutTargetWindow)
{
    mqtt_set_target_window(nullptr);
    Deliver("{\"cmdId\":2984,\"gw_sn\":\"GW1\"}");
    EXPECT_EQ(window_.Count(), 0u);
}

TEST(DispatchLine, UnknownMessagesGiveNoLine)
{
    EXPECT_EQ(DispatchLinePrinter::FormatLine(WM_USER + 1034, 0, 0), "");
}

} // namespace
