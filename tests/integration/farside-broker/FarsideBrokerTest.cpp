// lumetra-farside's broker services and TCP servers, driven as a PC drives them: a
// real broker, the real far side, an MQTT client and TCP connections playing the PC.

#include "support/FarsideProcess.h"
#include "support/FreePort.h"
#include "support/MosquittoBroker.h"
#include "support/MqttTestClient.h"
#include "support/PlatconfBuilder.h"
#include "support/TempDir.h"

#include <QDeadlineTimer>
#include <QTcpSocket>
#include <cjson/cJSON.h>
#include <gtest/gtest.h>

#include <memory>

namespace {

const std::string kPc = "12345678901234567890";
const std::string kOtherPc = "98765432109876543210";
const char kPublish[] = "/ipc/kavno/publish";
const char kPublishLumetra[] = "/ipc/kavno/publish/lumetra";

const char kInventory[] = R"({"accounts": [{"userName": "u", "password": "p", "orgId": 1, "newRoleId": 1,
  "accountsId": 1, "gateways": [
  {"gwSn": "GW-1", "isOnline": true, "lanIp": "192.168.8.1", "lanMask": "255.255.255.0", "csq": "27", "devices": [
    {"deviceSn": "SER-ECHO", "tunType": 2, "simulation": {"kind": "echo"}},
    {"deviceSn": "SER-MQTT", "tunType": 2, "simulation": {"kind": "echo"}, "returnPath": "mqtt"},
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

std::string Envelope(int cmdId, const std::string& dev, const char* forward, const std::string& extra = "",
                     const std::string& pc = kPc)
{
    return std::string("{\"ctrl_root\":{\"forward_topic\":\"") + forward +
           "\"},\"payload_root\":{\"cmdId\":" + std::to_string(cmdId) + ",\"dev_sn\":\"" + dev +
           "\",\"pc_id\":\"" + pc + "\"" + extra + "}}";
}

std::string Registration(const std::string& dev, const std::string& pc = kPc)
{
    return R"({"st":1,"pc_id":")" + pc + R"(","gw_sn":"GW-1","dev_sn":")" + dev + R"(","reconnect":0})";
}

// {"cmdId":code,"gw_sn":"GW-1","dev_sn":dev + rest}
std::string Answer(int code, const std::string& dev, const std::string& rest = "")
{
    return "{\"cmdId\":" + std::to_string(code) + ",\"gw_sn\":\"GW-1\",\"dev_sn\":\"" + dev + "\"" + rest +
           "}";
}

// The PC's end of a port-transfer link, with blocking waits of at most 10 s.
struct Link : QTcpSocket
{
    bool Open(int port)
    {
        connectToHost("127.0.0.1", static_cast<quint16>(port));
        return waitForConnected(10000);
    }
    bool Send(const std::string& bytes)
    {
        return write(bytes.data(), static_cast<qint64>(bytes.size())) == qint64(bytes.size()) &&
               waitForBytesWritten(10000);
    }
    // Whether the far end closed (bytes meanwhile are discarded).
    bool WaitForClose()
    {
        while (state() == ConnectedState && waitForReadyRead(10000))
            readAll();
        return state() == UnconnectedState;
    }
};

// A PC's subscription to its own topic, read message by message.
struct PcInbox
{
    explicit PcInbox(const std::string& id) : id(id), client("test-pc-" + id.substr(0, 8)) {}

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
        std::unique_ptr<cJSON, decltype(&cJSON_Delete)> json(cJSON_Parse(expected.c_str()), &cJSON_Delete);
        char* printed = json ? cJSON_PrintUnformatted(json.get()) : nullptr;
        const std::string want = printed ? printed : "(bad expectation)";
        cJSON_free(printed);
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
                        .Text("wsh", "127.0.0.1")
                        .Text("wsp", std::to_string(FreePort::Pick()))
                        .Text("bh", broker.Host())
                        .Text("bp", std::to_string(broker.Port()))
                        .Text("busername", broker.User())
                        .Text("bpassword", broker.Password())
                        .Text("port_transfer_host", "127.0.0.1")
                        .Text("port_transfer_port", std::to_string(portTransferPort))
                        .Text("relay_port", std::to_string(FreePort::Pick()))
                        .Text("vpn_port", "11940")
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

    // Binds a serial device and registers its link (2983, 2996, 3000 answered).
    void OpenSerialLink(const std::string& dev)
    {
        Publish("/sys/varnex_binder/sub", Binder(2983, dev, kPc));
        EXPECT_TRUE(pc.Next(Answer(2984, dev, R"(,"is_bind":0)")));
        Publish("/GW-1/down", Envelope(2996, dev, kPublish));
        EXPECT_TRUE(pc.Next(Answer(2995, dev)));
        Publish("/sys/varnex_binder/sub", Binder(3000, dev, kPc, kLinkSettings));
        EXPECT_TRUE(pc.Next(Answer(3001, dev, R"(,"st":2,"flag":1)")));
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

// The device's answers over the port-transfer link come back there or, as here, as
// 2980; both return paths are also the end-to-end serial tests'.
TEST_F(FarsideBrokerTest, SerialTunnelCarriesDeviceBytesOverTcpAndAs2980)
{
    const std::string request("\x01\x03\x00\x00\x00\x04\x44\x09", 8); // Base64 AQMAAAAERAk=
    OpenSerialLink("SER-MQTT");
    Link link;
    ASSERT_TRUE(link.Open(portTransferPort));
    ASSERT_TRUE(link.Send(Registration("SER-MQTT")));
    EXPECT_TRUE(pc.Next(Answer(2993, "SER-MQTT", R"(,"flag":1,"msg":"串口设备连接成功")")));
    ASSERT_TRUE(link.Send(request));
    EXPECT_TRUE(
        pc.Next(Answer(2980, "SER-MQTT", R"(,"pt_sn":1,"pt_payload":"AQMAAAAERAk=","payload_len":12)")));
    // Data inside MQTT reaches the device too, and its answer comes back as 2980.
    const std::string data =
        Envelope(2990, "SER-MQTT", kPublishLumetra,
                 R"(,"pt_sn":1,"tun_type":2,"pt_payload":"YWJj","pt_len":3,"sock_new":1)");
    Publish("/sys/transparent/GW-1/down", data);
    EXPECT_TRUE(pc.Next(Answer(2980, "SER-MQTT", R"(,"pt_sn":2,"pt_payload":"YWJj","payload_len":4)")));

    // Every message is logged as it arrived: topic, QoS, payload.
    EXPECT_TRUE(
        farside.WaitForOutput(QString::fromStdString("received /sys/transparent/GW-1/down qos 0 " + data)));
    const QString log = farside.Output();
    for (const std::string& line :
         {"received /sys/varnex_binder/sub qos 0 " + Binder(2983, "SER-MQTT", kPc),
          "received /GW-1/down qos 0 " + Envelope(2996, "SER-MQTT", kPublish),
          "received /sys/varnex_binder/sub qos 0 " + Binder(3000, "SER-MQTT", kPc, kLinkSettings)})
        EXPECT_TRUE(log.contains(QString::fromStdString(line))) << line;
}

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
    Link unbound;
    ASSERT_TRUE(unbound.Open(portTransferPort));
    ASSERT_TRUE(unbound.Send(Registration("SER-MQTT")));
    EXPECT_TRUE(pc.Next(Answer(2993, "SER-MQTT", R"(,"flag":0,"msg":"设备未绑定，注册失败")")));
    EXPECT_TRUE(unbound.WaitForClose());

    // A malformed message gets no answer and is logged.
    Publish("/sys/varnex_binder/sub", "not json");
    EXPECT_TRUE(farside.WaitForOutput("binder: message refused: not JSON"));
    EXPECT_TRUE(farside.IsRunning());
}

TEST_F(FarsideBrokerTest, VpnChannelIsGrantedOncePerGateway)
{
    auto request = [](const std::string& pcId) {
        return R"({"gwSn":"GW-1","cmdId":97,"pcId":")" + pcId + "\"}";
    };
    const std::string report =
        R"({"cmdId":98,"flag":1,"gwSn":"GW-1","lanIp":"192.168.8.1","csq":"27","lanMask":"255.255.255.0"})";

    Publish("/" + kPc + "/lumetraToServer", request(kPc), 2);
    EXPECT_TRUE(pc.Next(R"({"cmdId":100,"gwSn":"GW-1","vpnserverIp":"127.0.0.1","busiCode":0,"pcId":")" +
                        kPc + R"(","vpnport":11940,"userName":")" + kPc +
                        R"(","passwd":"730158","isSwitchOn":1})"));
    EXPECT_TRUE(pc.Next(report));
    Publish("/" + kOtherPc + "/lumetraToServer", request(kOtherPc), 2);
    EXPECT_TRUE(otherPc.Next(R"({"cmdId":100,"gwSn":"GW-1","busiCode":1,"pcId":")" + kOtherPc +
                             R"(","isSwitchOn":1})"));
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
