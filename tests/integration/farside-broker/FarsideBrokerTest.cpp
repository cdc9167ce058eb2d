// lumetra-farside's broker services where no client test reaches them (the normal
// serial, port-forward and VPN paths are the end-to-end tests').

#include "app/JsonPtr.h"
#include "support/FarsideProcess.h"
#include "support/FreePort.h"
#include "support/MosquittoBroker.h"
#include "support/MqttTestClient.h"
#include "support/PlatconfBuilder.h"
#include "support/TcpLink.h"
#include "support/TempDir.h"

#include <QDeadlineTimer>
#include <cjson/cJSON.h>
#include <gtest/gtest.h>

namespace {

const std::string kPc = "12345678901234567890";
const std::string kOtherPc = "98765432109876543210";

const char kInventory[] = R"({"accounts": [{"userName": "u", "password": "p", "orgId": 1, "newRoleId": 1,
  "accountsId": 1, "gateways": [
  {"gwSn": "GW-1", "isOnline": true, "devices": [
    {"deviceSn": "SER-ECHO", "tunType": 2, "simulation": {"kind": "echo"}},
    {"deviceSn": "SER-FREE", "tunType": 2, "simulation": {"kind": "echo"}},
    {"deviceSn": "SER-BUSY", "tunType": 2, "fault": "occupied"},
    {"deviceSn": "SER-REFUSED", "tunType": 2, "fault": "register-refused"}]}]}]})";

// A binder request with its members in the client's order.
std::string Binder(int cmdId, const std::string& dev, const std::string& pc, const std::string& extra = "")
{
    const std::string device = R"("gw_sn":"GW-1","dev_sn":")" + dev + "\"";
    const std::string who = R"("pc_id":")" + pc + "\"";
    return "{\"cmd_id\":" + std::to_string(cmdId) + "," +
           (cmdId == 2983 ? device + "," + who : "\"link_type\":1," + who + "," + device) + extra + "}";
}

const char kLinkSettings[] = R"(,"com":"COM1","baud":9600,"parity":"N","data_bit":8,"stop_bit":1)";

std::string Registration(const std::string& dev)
{
    return R"({"st":1,"pc_id":")" + kPc + R"(","gw_sn":"GW-1","dev_sn":")" + dev + R"(","reconnect":0})";
}

// {"cmdId":code,"gw_sn":"GW-1","dev_sn":dev + rest}
std::string Answer(int code, const std::string& dev, const std::string& rest = "")
{
    return "{\"cmdId\":" + std::to_string(code) + ",\"gw_sn\":\"GW-1\",\"dev_sn\":\"" + dev + "\"" + rest +
           "}";
}

// A PC's subscription to its own topic, read message by message.
struct PcInbox
{
    explicit PcInbox(const std::string& pcId) : id(pcId), client("test-pc-" + pcId.substr(0, 8)) {}

    bool Connect(const MosquittoBroker& broker)
    {
        return client.Connect(broker.Host(), broker.Port(), broker.User(), broker.Password()) &&
               client.Subscribe("/" + id + "/lumetraToPC", 2);
    }

    // The next message, which must equal `expected` (JSON, member order included).
    ::testing::AssertionResult Next(const std::string& expected)
    {
        if (!client.WaitForMessages(++seen))
            return ::testing::AssertionFailure() << "no message; expected " << expected;
        const MqttTestClient::Message message = client.Messages()[seen - 1];
        if (message.topic != "/" + id + "/lumetraToPC")
            return ::testing::AssertionFailure() << "topic " << message.topic;
        const JsonPtr json(cJSON_Parse(expected.c_str()));
        const JsonText printed(json ? cJSON_PrintUnformatted(json.get()) : nullptr);
        const std::string want = printed ? printed.get() : "(bad expectation)";
        if (message.payload == want)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "got " << message.payload << "\nwant " << want;
    }

    std::string id;
    MqttTestClient client;
    size_t seen = 0;
};

class FarsideBrokerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(broker.Start()) << broker.Error().toStdString();
        portTransferPort = FreePort::Pick();
        platconf = dir.FilePath("platconf");
        ASSERT_TRUE(PlatconfBuilder()
                        .WebService(FreePort::Pick())
                        .Broker(broker)
                        .TunnelServers(portTransferPort, FreePort::Pick())
                        .WriteTo(platconf));
        inventory = dir.Write("inventory.json", kInventory);
        ASSERT_TRUE(farside.Start(platconf, inventory, kArguments)) << farside.Error().toStdString();
        ASSERT_TRUE(farside.WaitForOutput("broker connected 127.0.0.1:" + QString::number(broker.Port())))
            << farside.Output().toStdString();
        ASSERT_TRUE(sender.Connect(broker.Host(), broker.Port(), broker.User(), broker.Password()));
        ASSERT_TRUE(pc.Connect(broker));
        ASSERT_TRUE(otherPc.Connect(broker));
    }

    void Publish(const std::string& topic, const std::string& payload, int qos = 0)
    {
        ASSERT_TRUE(sender.Publish(topic, payload, qos));
    }

    const QStringList kArguments{"--no-vpn-server", "--keepalive", "0"};
    TempDir dir;
    QString platconf, inventory;
    MosquittoBroker broker;
    FarsideProcess farside;
    MqttTestClient sender{"test-sender"};
    PcInbox pc{kPc};
    PcInbox otherPc{kOtherPc};
    int portTransferPort = 0;
};

TEST_F(FarsideBrokerTest, OccupiedAndRefusedDevicesGetTheirAnswers)
{
    Publish("/sys/varnex_binder/sub", Binder(2983, "SER-BUSY", kPc));
    EXPECT_TRUE(pc.Next(Answer(2984, "SER-BUSY", R"(,"is_bind":1)")));

    // A device held by one PC is occupied for another until it is released.
    Publish("/sys/varnex_binder/sub", Binder(2983, "SER-ECHO", kPc));
    EXPECT_TRUE(pc.Next(Answer(2984, "SER-ECHO", R"(,"is_bind":0)")));
    Publish("/sys/varnex_binder/sub", Binder(2983, "SER-ECHO", kOtherPc));
    EXPECT_TRUE(otherPc.Next(Answer(2984, "SER-ECHO", R"(,"is_bind":1)")));
    Publish("/sys/varnex_binder/sub", Binder(3002, "SER-ECHO", kPc));
    Publish("/sys/varnex_binder/sub", Binder(2983, "SER-ECHO", kOtherPc));
    EXPECT_TRUE(otherPc.Next(Answer(2984, "SER-ECHO", R"(,"is_bind":0)")));

    // Registration refused by the binder, and on the port-transfer server when not bound.
    Publish("/sys/varnex_binder/sub", Binder(2983, "SER-REFUSED", kPc));
    EXPECT_TRUE(pc.Next(Answer(2984, "SER-REFUSED", R"(,"is_bind":0)")));
    Publish("/sys/varnex_binder/sub", Binder(3000, "SER-REFUSED", kPc, kLinkSettings));
    EXPECT_TRUE(pc.Next(Answer(3001, "SER-REFUSED", R"(,"st":2,"flag":0)")));
    TcpLink unbound;
    ASSERT_TRUE(unbound.Open(portTransferPort, Registration("SER-FREE")));
    EXPECT_TRUE(pc.Next(Answer(2993, "SER-FREE", R"(,"flag":0,"msg":"设备未绑定，注册失败")")));
    EXPECT_TRUE(unbound.WaitForClose());

    // A malformed message gets no answer and is logged.
    Publish("/sys/varnex_binder/sub", "not json");
    EXPECT_TRUE(farside.WaitForOutput("binder: message refused: not JSON"));
    EXPECT_TRUE(farside.IsRunning());
}

TEST_F(FarsideBrokerTest, WaitsForTheBrokerAndSubscribesAgainAfterItRestarts)
{
    broker.Stop();
    ASSERT_TRUE(farside.Start(platconf, inventory, kArguments)) << farside.Error().toStdString();
    EXPECT_TRUE(farside.WaitForOutput("not reachable yet"));
    ASSERT_TRUE(broker.Start()) << broker.Error().toStdString();
    EXPECT_TRUE(farside.WaitForOutput("broker connected", 20000));
    ASSERT_TRUE(broker.Restart()) << broker.Error().toStdString();
    QDeadlineTimer deadline(20000);
    while (farside.Output().count("broker connected") < 2 && !deadline.hasExpired())
        farside.WaitForOutput("\n(never printed)", 50);
    ASSERT_EQ(farside.Output().count("broker connected"), 2) << farside.Output().toStdString();

    MqttTestClient sender2("test-sender-2");
    PcInbox inbox(kPc);
    ASSERT_TRUE(sender2.Connect(broker.Host(), broker.Port(), broker.User(), broker.Password()));
    ASSERT_TRUE(inbox.Connect(broker));
    ASSERT_TRUE(sender2.Publish("/sys/varnex_binder/sub", Binder(2983, "SER-ECHO", kPc)));
    EXPECT_TRUE(inbox.Next(Answer(2984, "SER-ECHO", R"(,"is_bind":0)")));
}

} // namespace
