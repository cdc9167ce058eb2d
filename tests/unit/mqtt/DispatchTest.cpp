// Inbound dispatch on one thread: which window message each inbound message becomes,
// with which parameters, what is dropped, and the routing of tunnel traffic.

#include "cloud/CNodeGateway.h"
#include "mqtt-c/DispatchLinePrinter.h"
#include "mqtt-c/TunnelRouting.h"
#include "mqtt-c/VpnInfoRecord.h"
#include "mqtt-c/mqtt_dispatch.h"
#include "platform/WindowMessages.h"
#include "support/RecordingWindow.h"

#include <gtest/gtest.h>

#include <cjson/cJSON.h>

#include <list>
#include <string>
#include <vector>

namespace {

// Keeps copies of the records while the handler runs.
class CapturingWindow : public RecordingWindow
{
public:
    CapturingWindow() : RecordingWindow(DispatchLinePrinter::FormatLine) {}
    GatewayInfo status; // what the gateway status message carried
    VpnInfoRecord vpn;
    std::string serial, rawTopic, rawPayload;

protected:
    void AfterRecord(const Entry& entry) override
    {
        if (entry.msg == WM_GATEWAY_STATUS) {
            status = *reinterpret_cast<const CNodeGateway*>(entry.wParam);
        } else if (entry.msg == WM_VPN_CHANNEL_REPLY || entry.msg == WM_VPN_CHANNEL_ENDED) {
            vpn = *reinterpret_cast<const VpnInfoRecord*>(entry.wParam);
        } else if (entry.msg == WM_SERIAL_TUNNEL_READY) {
            serial = reinterpret_cast<const char*>(entry.wParam);
        } else if (entry.msg == WM_TRANS_COM_RAW) {
            const auto* raw = reinterpret_cast<const mqtt_raw_record*>(entry.wParam);
            rawTopic = raw->topic;
            rawPayload.assign(raw->payload, static_cast<size_t>(raw->length));
        }
    }
};

class Dispatch : public ::testing::Test
{
protected:
    void Deliver(const std::string& json, const char* topic = "/17250000001234567890/lumetraToPC")
    {
        mqtt_dispatch(&window_, topic, json.data(), static_cast<int>(json.size()));
    }

    CapturingWindow window_;
};

TEST_F(Dispatch, TunnelTrafficCarriesItsRoutingCodeAndOtherCodesAreIgnored)
{
    const std::pair<int, platform::LParam> table[] = {
        {2980, platform::kWmUser + 1047}, {2984, 2984},
        {2986, platform::kWmUser + 1045}, {2987, 2987},
        {2988, platform::kWmUser + 1043}, {2991, platform::kWmUser + 1042},
        {2993, platform::kWmUser + 1041}, {2995, platform::kWmUser + 1036},
        {2997, platform::kWmUser + 1035}, {3001, 3001},
        {3003, platform::kWmUser + 1039}};
    for (const auto& [cmdId, code] : table) {
        window_.Clear();
        const std::string json =
            "{\"cmdId\":" + std::to_string(cmdId) + ",\"gw_sn\":\"GW1\",\"dev_sn\":\"D1\"}";
        Deliver(json);
        const auto entries = window_.Entries();
        ASSERT_EQ(entries.size(), 1u) << cmdId;
        EXPECT_EQ(entries[0].msg, platform::kWmUser + 1037) << cmdId;
        EXPECT_EQ(entries[0].lParam, code) << cmdId;
        EXPECT_EQ(entries[0].text,
                  std::to_string(platform::kWmUser + 1037) + " " + std::to_string(code) + " " + json);
        EXPECT_EQ(mqtt_route_code(cmdId), code);
    }
    window_.Clear();
    for (int cmdId : {0, 97, 99, 2978, 2983, 2985, 2990, 2992, 2994, 2996, 2998, 3000, 3002, 3012, 123456}) {
        Deliver("{\"cmdId\":" + std::to_string(cmdId) + ",\"gw_sn\":\"GW1\"}");
        EXPECT_EQ(mqtt_route_code(cmdId), 0) << cmdId;
    }
    EXPECT_EQ(window_.Count(), 0u);
}

TEST_F(Dispatch, GatewayStatusRecordAndItsDefaults)
{
    Deliver("{\"cmdId\":98,\"flag\":1,\"gwSn\":\"GW1\",\"lanIp\":\"192.168.1.1\",\"csq\":\"27\",\"lanMask\":"
            "\"255.255.255.0\"}");
    ASSERT_EQ(window_.Count(), 1u);
    const auto entry = window_.Entries()[0];
    EXPECT_EQ(entry.msg, platform::kWmUser + 1009);
    EXPECT_EQ(entry.lParam, 0);
    const GatewayInfo& s = window_.status;
    EXPECT_EQ(std::make_tuple(s.stateFlag, s.gwSn, s.lanIp, s.csq, s.lanMask),
              std::make_tuple(1, "GW1", "192.168.1.1", "27", "255.255.255.0"));
    EXPECT_EQ(entry.text,
              "2033 0 {\"flag\":1,\"gwSn\":\"GW1\",\"lanIp\":\"192.168.1.1\",\"csq\":\"27\",\"lanMask\":"
              "\"255.255.255.0\"}");
    // Absent members keep their defaults; a signal value sent as a number is kept as text.
    Deliver("{\"cmdId\":98,\"gwSn\":\"GW2\",\"lanIp\":null}");
    EXPECT_EQ(std::make_tuple(s.stateFlag, s.gwSn, s.lanIp, s.csq), std::make_tuple(0, "GW2", "", "-1"));
    Deliver("{\"cmdId\":98,\"gwSn\":\"GW2\",\"csq\":31}");
    EXPECT_EQ(s.csq, "31");
    EXPECT_EQ(window_.Count(), 3u);
}

TEST_F(Dispatch, VpnInformationWithAndWithoutSwitchOn)
{
    Deliver("{\"cmdId\":100,\"gwSn\":\"GW1\",\"vpnserverIp\":\"10.1.1.1\",\"busiCode\":0,\"pcId\":\"P1\","
            "\"vpnport\":"
            "1194,\"userName\":\"u\",\"passwd\":\"p\",\"isSwitchOn\":1,\"flag\":1,\"msg\":\"ok\"}");
    ASSERT_EQ(window_.Count(), 1u);
    EXPECT_EQ(window_.Entries()[0].msg, platform::kWmUser + 1004);
    const VpnInfoRecord& r = window_.vpn;
    EXPECT_EQ(std::make_tuple(r.gwSn, r.vpnServerIp, r.busiCode, r.pcId, r.vpnPort, r.userName, r.password,
                              r.isSwitchOn, r.flag, r.msg),
              std::make_tuple("GW1", "10.1.1.1", 0, "P1", 1194, "u", "p", 1, 1, "ok"));

    window_.Clear();
    Deliver("{\"cmdId\":100,\"gwSn\":\"GW1\",\"isSwitchOn\":0}");
    Deliver("{\"cmdId\":100,\"gwSn\":\"GW1\",\"busiCode\":3}");
    Deliver("{\"cmdId\":100,\"isSwitchOn\":\"1\"}");
    const auto entries = window_.Entries();
    ASSERT_EQ(entries.size(), 3u);
    for (const auto& entry : entries)
        EXPECT_EQ(entry.msg, platform::kWmUser + 1005);
    EXPECT_EQ(window_.vpn.gwSn, "");
    EXPECT_EQ(window_.vpn.busiCode, 0);
}

TEST_F(Dispatch, SerialTunnelReadyAndResultReply)
{
    Deliver("{\"cmdId\":1011,\"gwSn\":\"GW1\",\"devId\":77}");
    Deliver("{\"cmdId\":1011,\"gwSn\":\"GW1\"}"); // both members are needed
    Deliver("{\"cmdId\":1011,\"devId\":77}");
    const std::string result =
        "{\"cmdId\":3010,\"flag\":0,\"msg\":\"busy\",\"encode\":\"ascii\",\"errcode\":1}";
    Deliver(result);
    const auto entries = window_.Entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].msg, platform::kWmUser + 1024);
    EXPECT_EQ(entries[0].lParam, 77);
    EXPECT_EQ(window_.serial, "GW1");
    EXPECT_EQ(entries[1].msg, platform::kWmUser + 1028);
    EXPECT_EQ(entries[1].wParam, 0u);
    EXPECT_NE(entries[1].lParam, 0);
    EXPECT_EQ(entries[1].text, "2052 0 " + result);
}

TEST_F(Dispatch, MalformedIncompleteOrUntargetedMessagesAreDropped)
{
    for (const char* json :
         {"{\"cmdId\":2984,", "not json at all", "{\"gw_sn\":\"GW1\",\"cmd\":2984}", "[2984]", ""}) {
        Deliver(json);
    }
    mqtt_dispatch(&window_, "/t", nullptr, 5);
    mqtt_dispatch_command(&window_, "{\"cmdId\":2984}", 0);
    mqtt_dispatch_command(&window_, "{\"cmdId\":2984}", -3);
    EXPECT_EQ(window_.Count(), 0u);
    const std::string untargeted = "{\"cmdId\":2984,\"gw_sn\":\"GW1\"}";
    mqtt_dispatch(nullptr, "/p/lumetraToPC", untargeted.data(), static_cast<int>(untargeted.size()));
    EXPECT_EQ(window_.Count(), 0u);
    EXPECT_EQ(DispatchLinePrinter::FormatLine(platform::kWmUser + 1034, 0, 0), "")
        << "unknown messages give no line";
}

TEST_F(Dispatch, CapitalKeyAndPayloadReadOnlyUpToItsLength)
{
    Deliver("{\"CMDID\":2984,\"GW_SN\":\"GW1\",\"is_bind\":0}");
    const char buffer[] = "{\"cmdId\":2993}{\"cmdId\":2995}";
    mqtt_dispatch(&window_, "/p/lumetraToPC", buffer, 14);
    const auto entries = window_.Entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].msg, platform::kWmUser + 1037);
    EXPECT_EQ(entries[0].lParam, 2984);
    EXPECT_EQ(entries[1].lParam, platform::kWmUser + 1041);
}

TEST_F(Dispatch, RawTopicIsNeverParsed)
{
    const std::string json = "{\"cmdId\":2984,\"gw_sn\":\"GW1\"}";
    Deliver(json, "/sys/trans_com/GW1");
    Deliver("\x01\x02 binary", "/sys/trans_com/");
    Deliver(json, "/sys/trans_com"); // shorter than the prefix: the JSON path
    const auto entries = window_.Entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].msg, platform::kWmUser + 1025);
    EXPECT_EQ(entries[1].msg, platform::kWmUser + 1025);
    EXPECT_EQ(entries[2].msg, platform::kWmUser + 1037);
    EXPECT_EQ(window_.rawTopic, "/sys/trans_com/");
    EXPECT_EQ(window_.rawPayload, "\x01\x02 binary");
}

// A tunnel as the routing step sees it; it serves one device, or a whole gateway
// when its device serial is empty.
struct RoutedTunnel
{
    std::string gwSn, devSn;
    std::recursive_mutex* lock = nullptr;
    std::vector<int> codes{};
    bool lockHeld = false;

    bool Match(const char* gw, const char* dev) const
    {
        return gwSn == gw && (devSn.empty() || (dev != nullptr && devSn == dev));
    }
    void OnMessage(cJSON*, int code)
    {
        codes.push_back(code);
        // The list lock is held and can be taken again on this thread.
        lockHeld = lock->try_lock();
        if (lockHeld)
            lock->unlock();
    }
};

void Route(const char* json, int code, std::recursive_mutex& lock, const std::list<RoutedTunnel*>& active)
{
    cJSON* message = json != nullptr ? cJSON_Parse(json) : nullptr;
    RouteTunnelMessage(message, code, lock, active);
    cJSON_Delete(message);
}

TEST(RouteTunnelMessage, FirstMatchingTunnelReceivesTheCode)
{
    std::recursive_mutex lock;
    RoutedTunnel first{"GW1", "D1", &lock}, second{"GW1", "D1", &lock}, other{"GW1", "D2", &lock};
    RoutedTunnel gateway{"GW2", "", &lock};
    const std::list<RoutedTunnel*> active = {&other, &first, &second, &gateway};

    Route("{\"cmdId\":2993,\"gw_sn\":\"GW1\",\"dev_sn\":\"D1\"}", platform::kWmUser + 1041, lock, active);
    EXPECT_EQ(first.codes, std::vector<int>{static_cast<int>(platform::kWmUser + 1041)});
    EXPECT_TRUE(first.lockHeld);
    EXPECT_TRUE(second.codes.empty());
    EXPECT_TRUE(other.codes.empty());

    // Missing or mistyped serials and no match drop the message.
    for (const char* json :
         {"{\"cmdId\":2980,\"dev_sn\":\"D1\"}", "{\"cmdId\":2980,\"gw_sn\":\"GW1\"}",
          "{\"cmdId\":2980,\"gw_sn\":\"GW9\",\"dev_sn\":\"D1\"}",
          "{\"cmdId\":2980,\"gw_sn\":7,\"dev_sn\":\"D1\"}", static_cast<const char*>(nullptr)}) {
        Route(json, platform::kWmUser + 1047, lock, active);
    }
    EXPECT_EQ(first.codes.size() + second.codes.size() + other.codes.size() + gateway.codes.size(), 1u);

    // A tunnel that serves a whole gateway matches without a device serial.
    Route("{\"cmdId\":3003,\"gw_sn\":\"GW2\"}", platform::kWmUser + 1039, lock, active);
    EXPECT_EQ(gateway.codes, std::vector<int>{static_cast<int>(platform::kWmUser + 1039)});
}

} // namespace
