// What each tunnel does with each inbound message and each call of the view: the
// window messages it sends (with their JSON) and, seen from a far-side client of a
// real broker, the topic, QoS and exact bytes of everything it publishes.

#include "TcpPeer.h"
#include "TunnelTestBed.h"
#include "TunnelViewWindow.h"

#include "cloud/CNodeDevice.h"
#include "cloud/CNodeGateway.h"
#include "endpoint/ComTransferData.h"
#include "endpoint/VpnClientControl.h"
#include "mqtt-c/VpnInfoRecord.h"
#include "platform/WindowMessages.h"
#include "support/FreePort.h"
#include "support/MessageBoxRecorder.h"
#include "support/PumpUntil.h"
#include "tunnel/CComDataTunnel.h"
#include "tunnel/CNetPfLocalDataTunnel.h"
#include "tunnel/CVPNDataTunnel.h"

#include <gtest/gtest.h>

#include <QFile>

#include <cjson/cJSON.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Published =
    std::vector<std::pair<std::string, std::string>>;   // topic, payload ("$PC" stands for the PC)
using Sent = std::vector<std::pair<UINT, std::string>>; // message, JSON

const char kOpenRequest[] =
    R"({"ctrl_root":{"forward_topic":"/ipc/kavno/publish"},"payload_root":{"cmdId":2996,"dev_sn":"DEV1","pc_id":"$PC"}})";
const char kReply2994[] =
    R"({"ctrl_root":{"forward_topic":"/ipc/kavno/publish/lumetra"},"payload_root":{"cmdId":2994,"dev_sn":"DEV1","pc_id":"$PC"}})";
const char kUnbind[] =
    R"({"ctrl_root":{"forward_topic":"/ipc/kavno/publish"},"payload_root":{"cmdId":2998,"dev_sn":"DEV1","pc_id":"$PC"}})";

struct Step
{
    int code;
    const char* message; // null: the view's notice without a message
    Published published;
    Sent toView;
    Sent toMain;
    const char* box = nullptr;
};

class TunnelMessages : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(bed_.Start());
        gateway_.gwSn = "GW1";
        gateway_.lanIp = "192.168.8.1";
        gateway_.lanMask = "255.255.255.0";
        device_.deviceSn = "DEV1";
        device_.com = "COM2";
        device_.baud = 9600;
        device_.parity = 2;
        device_.databit = 8;
        device_.stopbit = 1;
        device_.ip = "192.168.1.20";
        device_.port = 502;
        CNetPfLocalDataTunnel::SetMainWindow(&main_);
    }
    void TearDown() override { CNetPfLocalDataTunnel::SetMainWindow(nullptr); }

    // Checks what the PC published since the last check, with QoS 0 unless told.
    void ExpectPublished(const Published& expected, const std::string& label, int qos = 0)
    {
        const std::vector<MqttTestClient::Message> got = bed_.TakePublished();
        ASSERT_EQ(got.size(), expected.size()) << label;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].topic, expected[i].first) << label;
            EXPECT_EQ(got[i].payload, TunnelTestBed::WithPc(expected[i].second)) << label;
            EXPECT_EQ(got[i].qos, qos) << label;
        }
    }

    static void ExpectSent(TunnelViewWindow& window, const Sent& expected, const std::string& label)
    {
        const std::vector<TunnelViewWindow::Entry> got = window.Take();
        ASSERT_EQ(got.size(), expected.size()) << label;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].msg, expected[i].first) << label;
            EXPECT_EQ(got[i].json, expected[i].second) << label;
        }
    }

    void RunSteps(CDataTunnel& tunnel, const std::vector<Step>& steps)
    {
        for (const Step& step : steps) {
            const std::string label =
                std::to_string(step.code) + " " + (step.message ? step.message : "(none)");
            MessageBoxRecorder boxes;
            cJSON* message = step.message != nullptr ? cJSON_Parse(step.message) : nullptr;
            tunnel.OnMessage(message, step.code);
            cJSON_Delete(message);
            ExpectPublished(step.published, label);
            ExpectSent(view_, step.toView, label);
            ExpectSent(main_, step.toMain, label);
            ASSERT_EQ(boxes.Count(), step.box != nullptr ? 1u : 0u) << label;
            if (step.box != nullptr) {
                EXPECT_EQ(boxes.Boxes()[0].text, QString::fromUtf8(step.box));
                EXPECT_EQ(boxes.Boxes()[0].caption, QStringLiteral("Lumetra"));
                EXPECT_EQ(boxes.Boxes()[0].owner, &view_);
            }
        }
    }

    TunnelTestBed bed_;
    CNodeGateway gateway_;
    CNodeDevice device_;
    TunnelViewWindow view_;
    TunnelViewWindow main_;
};

TEST_F(TunnelMessages, SerialTunnelTable)
{
    device_.tunType = 2;
    CComDataTunnel tunnel(&view_, &gateway_, &device_);
    const std::string result = R"({"cmdId":2993,"flag":1,"msg":"ok"})";
    const std::string pending = R"({"cmdId":3001,"st":1,"flag":1})";
    RunSteps(
        tunnel,
        {
            {kCmdBindAnswer, R"({"cmdId":2984,"is_bind":0})", {{"/GW1/down", kOpenRequest}}, {}, {}},
            {kCmdBindAnswer,
             R"({"cmdId":2984,"is_bind":1})",
             {},
             {{WM_TUNNEL_REPLY, R"({"flag":0,"msg":"通道占用中！","encode":"ascii"})"}},
             {}},
            {kCmdBindAnswer, R"({"cmdId":2984})", {}, {}, {}},
            {static_cast<int>(WM_TUNNEL_TARGET_REQUEST),
             R"({"cmdId":2995})",
             {{"/sys/varnex_binder/sub",
               R"({"cmd_id":3000,"link_type":1,"pc_id":"$PC","gw_sn":"GW1","dev_sn":"DEV1","com":"COM2","baud":9600,"parity":"E","data_bit":8,"stop_bit":1})"}},
             {},
             {}},
            {static_cast<int>(WM_TUNNEL_RESULT), result.c_str(), {}, {{WM_TUNNEL_REPLY, result}}, {}},
            {static_cast<int>(WM_TUNNEL_RESULT), R"({"cmdId":2993,"flag":1})", {}, {}, {}},
            {kCmdRegistrationResult, pending.c_str(), {}, {{WM_TUNNEL_REPLY, pending}}, {}},
            {kCmdRegistrationResult, R"({"cmdId":3001,"st":2,"flag":0})", {}, {}, {}, "设备注册失败！"},
            {kCmdRegistrationResult, R"({"cmdId":3001,"st":2})", {}, {}, {}},
            {static_cast<int>(WM_TUNNEL_REPLY_REQUEST),
             R"({"cmdId":2997})",
             {{"/GW1/down", kReply2994}},
             {},
             {}},
            {static_cast<int>(WM_TUNNEL_FAR_END_CLOSED),
             R"({"cmdId":3003})",
             {{"/GW1/down", kUnbind}},
             {{WM_TUNNEL_CLOSED, ""}},
             {}},
            // Without a started pair there is no COM port to open or write.
            {static_cast<int>(TUNNEL_OPEN_ACCEPTED), nullptr, {}, {}, {}},
            {static_cast<int>(WM_SERIAL_DATA_IN),
             R"({"pt_sn":1,"pt_payload":"QQ==","payload_len":4})",
             {},
             {},
             {}},
            {kCmdAck, R"({"cmdId":2987,"seq":1})", {}, {}, {}},
        });

    tunnel.OnTimeout();
    tunnel.Stop();
    ExpectPublished({{"/GW1/down", kUnbind},
                     {"/sys/varnex_binder/sub",
                      R"({"cmd_id":3002,"link_type":1,"pc_id":"$PC","gw_sn":"GW1","dev_sn":"DEV1"})"}},
                    "stop");
    ExpectSent(view_, {{WM_TUNNEL_CLOSED, ""}}, "stop");
}

TEST_F(TunnelMessages, SerialRegistrationConnectsTheRelayOrReportsIt)
{
    device_.tunType = 2;
    CComDataTunnel tunnel(&view_, &gateway_, &device_);
    TcpPeer server;
    ASSERT_TRUE(server.IsListening());
    bed_.SetResources(
        {{"port_transfer_host", "127.0.0.1"}, {"port_transfer_port", std::to_string(server.Port())}});
    cJSON* registered = cJSON_Parse(R"({"cmdId":3001,"st":2,"flag":1})");
    tunnel.OnMessage(registered, kCmdRegistrationResult);
    const std::string expected =
        TunnelTestBed::WithPc(R"({"st":1,"pc_id":"$PC","gw_sn":"GW1","dev_sn":"DEV1","reconnect":0})");
    EXPECT_TRUE(PumpUntil([&] { return static_cast<size_t>(server.Received().size()) >= expected.size(); }));
    EXPECT_EQ(server.Received().toStdString(), expected);
    ASSERT_NE(tunnel.GetRelayConnection(), nullptr);

    // Bytes from the relay with no COM port open go nowhere; the relay stays.
    server.Write("abc");
    ExpectSent(view_, {}, "registered");

    bed_.SetResources(
        {{"port_transfer_host", "127.0.0.1"}, {"port_transfer_port", std::to_string(FreePort::Pick())}});
    tunnel.OnMessage(registered, kCmdRegistrationResult);
    ExpectSent(view_, {{WM_TUNNEL_REPLY, R"({"flag":0,"msg":"服务器端口访问不了","encode":"ascii"})"}},
               "refused");
    bed_.SetResources({});
    tunnel.OnMessage(registered, kCmdRegistrationResult);
    ExpectSent(view_, {{WM_TUNNEL_REPLY, R"({"flag":0,"msg":"服务器端口访问不了","encode":"ascii"})"}},
               "missing");
    cJSON_Delete(registered);
    ExpectPublished({}, "registration");
}

TEST_F(TunnelMessages, PortForwardTunnelTable)
{
    device_.tunType = 1;
    CNetPfLocalDataTunnel tunnel(&view_, &gateway_, &device_);
    const std::string matched = R"({"cmdId":2986,"pt_sn":1})";
    const std::string ack = R"({"cmdId":2987,"seq":4})";
    const std::string data = R"({"cmdId":2988,"pt_sn":2,"pt_payload":"QUI="})";
    const std::string notice = R"({"cmdId":2991})";
    const std::string refused = R"({"cmdId":2993,"flag":0,"msg":"no"})";
    RunSteps(
        tunnel,
        {
            {kCmdBindAnswer,
             R"({"cmdId":2984,"is_occupy":true})",
             {},
             {{WM_TUNNEL_REPLY, R"({"flag":0,"msg":"通道占用中","encode":"ascii","errcode":1})"}},
             {}},
            {kCmdBindAnswer, R"({"cmdId":2984,"is_occupy":false})", {{"/GW1/down", kOpenRequest}}, {}, {}},
            {kCmdBindAnswer, R"({"cmdId":2984,"is_bind":1})", {}, {}, {}},
            {static_cast<int>(WM_PORT_FORWARD_MATCHED),
             matched.c_str(),
             {},
             {},
             {{WM_PORT_FORWARD_MATCHED, matched}}},
            {kCmdAck, ack.c_str(), {}, {}, {{WM_PORT_FORWARD_ACK, ack}}},
            {static_cast<int>(WM_PORT_FORWARD_DATA), data.c_str(), {}, {}, {{WM_PORT_FORWARD_DATA, data}}},
            {static_cast<int>(WM_PORT_FORWARD_NOTICE),
             notice.c_str(),
             {},
             {},
             {{WM_PORT_FORWARD_NOTICE, notice}}},
            {static_cast<int>(WM_TUNNEL_RESULT),
             R"({"cmdId":2993,"flag":1,"msg":"ok"})",
             {},
             {},
             {{WM_LISTENER_SETUP, ""}}},
            {static_cast<int>(WM_TUNNEL_RESULT), refused.c_str(), {}, {{WM_TUNNEL_REPLY, refused}}, {}},
            {static_cast<int>(WM_TUNNEL_RESULT), R"({"cmdId":2993,"flag":1})", {}, {}, {}},
            {static_cast<int>(WM_TUNNEL_TARGET_REQUEST),
             R"({"cmdId":2995})",
             {{"/GW1/down",
               R"({"ctrl_root":{"forward_topic":"/ipc/kavno/publish/lumetra"},"payload_root":{"cmdId":2992,"dev_sn":"DEV1","pc_id":"$PC","tun_type":1,"dev_ip":"192.168.1.20","dev_port":502}})"}},
             {},
             {}},
            {static_cast<int>(WM_TUNNEL_REPLY_REQUEST),
             R"({"cmdId":2997})",
             {{"/GW1/down", kReply2994}},
             {},
             {}},
            {static_cast<int>(WM_TUNNEL_FAR_END_CLOSED),
             R"({"cmdId":3003})",
             {{"/GW1/down", kUnbind}},
             {{WM_TUNNEL_CLOSED, ""}},
             {}},
            {static_cast<int>(TUNNEL_OPEN_ACCEPTED), nullptr, {}, {}, {}},
        });
    // The listener request names the view as the window to answer.
    tunnel.OnMessage(nullptr, static_cast<int>(WM_TUNNEL_RESULT));
    cJSON* ok = cJSON_Parse(R"({"flag":true,"msg":""})");
    tunnel.OnMessage(ok, static_cast<int>(WM_TUNNEL_RESULT));
    cJSON_Delete(ok);
    const std::vector<TunnelViewWindow::Entry> setup = main_.Take();
    ASSERT_EQ(setup.size(), 1u);
    EXPECT_EQ(setup[0].lParam, reinterpret_cast<LPARAM>(static_cast<MessageWindow*>(&view_)));
    EXPECT_EQ(setup[0].wParam, reinterpret_cast<WPARAM>(static_cast<CDataTunnel*>(&tunnel)));

    tunnel.RequestTarget();
    ExpectPublished(
        {{"/GW1/down",
          R"({"ctrl_root":{"forward_topic":"/ipc/kavno/publish/lumetra"},"payload_root":{"cmdId":2981,"dev_sn":"DEV1","pc_id":"$PC"}})"}},
        "target");
    // Bytes from the relay with no local connection are dropped.
    tunnel.OnRelayData(reinterpret_cast<const unsigned char*>("xy"), 2);
}

TEST_F(TunnelMessages, PortForwardTimeoutSendsOneReleaseFrame)
{
    device_.tunType = 1;
    CNetPfLocalDataTunnel tunnel(&view_, &gateway_, &device_);

    // Without the port-transfer entries nothing connects anywhere.
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(::listen(probe, 4), 0);
    ASSERT_EQ(::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length), 0);
    bed_.SetResources({{"port_transfer_host", "127.0.0.1"}});
    tunnel.OnTimeout();
    pollfd pending{probe, POLLIN, 0};
    EXPECT_EQ(::poll(&pending, 1, 0), 0);
    ::close(probe);

    TcpPeer server;
    bed_.SetResources(
        {{"port_transfer_host", "127.0.0.1"}, {"port_transfer_port", std::to_string(server.Port())}});
    tunnel.OnTimeout();
    const std::string json = TunnelTestBed::WithPc(
        R"({"cmd_id":3002,"gw_sn":"GW1","dev_sn":"DEV1","pc_id":"$PC","restart_gw_service":0})");
    const std::string frame = std::string("zelq") + char(json.size() & 0xFF) + char(json.size() >> 8) + json;
    EXPECT_TRUE(PumpUntil([&] { return server.PeerClosed(); }));
    EXPECT_EQ(server.Received().toStdString(), frame);
    ExpectPublished({}, "timeout");
}

TEST_F(TunnelMessages, BaseMessagesAndData)
{
    device_.tunType = 2;
    CComDataTunnel serial(&view_, &gateway_, &device_);
    CVPNDataTunnel channel(&gateway_);
    CComDataTunnel detached(&view_, nullptr, &device_);
    unsigned char bytes[] = {'A', 'B'};
    _com_transfer_data block;
    block.seq = 5;
    block.bytes = bytes;
    block.length = 2;
    block.newConnection = 1;

    serial.RequestBind();
    detached.RequestBind();
    detached.SendUnbind();
    serial.LeavePc();
    serial.SendAck(7);
    serial.SendEmptyCommand();
    serial.SendLocalData(&block);
    EXPECT_EQ(block.sendCount, 0u);
    channel.SendLocalData(&block);
    EXPECT_EQ(block.sendCount, 1u);
    ExpectPublished(
        {
            {"/sys/varnex_binder/sub", R"({"cmd_id":2983,"gw_sn":"GW1","dev_sn":"DEV1","pc_id":"$PC"})"},
            {"/sys/varnex_binder/sub", R"({"cmd_id":2978,"pc_id":"$PC"})"},
            {"/GW1/down",
             R"({"ctrl_root":{"forward_topic":"/ipc/kavno/publish/lumetra"},"payload_root":{"cmdId":2987,"dev_sn":"DEV1","pc_id":"$PC","seq":7}})"},
            {"/GW1/down",
             R"({"ctrl_root":{"forward_topic":"/ipc/kavno/publish/lumetra"},"payload_root":{"cmdId":2985,"dev_sn":"DEV1","pc_id":"$PC"}})"},
            {"/sys/transparent/GW1/down",
             R"({"ctrl_root":{"forward_topic":"/ipc/kavno/publish/lumetra"},"payload_root":{"cmdId":2990,"dev_sn":"DEV1","pc_id":"$PC","pt_sn":5,"tun_type":2,"pt_payload":"QUI=","pt_len":2,"sock_new":1}})"},
            {"/GW1/down",
             R"({"ctrl_root":{"forward_topic":"/ipc/kavno/publish/lumetra"},"payload_root":{"cmdId":2990,"dev_sn":"","pc_id":"$PC","pt_sn":5,"tun_type":0,"pt_payload":"QUI="}})"},
        },
        "base");
    const QFile trace(bed_.Home().FilePath("logtrace"));
    EXPECT_TRUE(trace.exists());
}

TEST_F(TunnelMessages, VpnChannelRequests)
{
    CVPNDataTunnel channel(&gateway_);
    const std::string server = std::string("/") + TunnelTestBed::kPc + "/lumetraToServer";
    channel.OnTimeout();
    channel.OnVpnInfo(nullptr);
    channel.Start();
    channel.Stop(); // before any reply: the initial port
    channel.OnGatewayStatus();
    VpnInfoRecord reply;
    reply.vpnServerIp = "127.0.0.1";
    reply.vpnPort = 1194;
    reply.userName = "alice";
    channel.OnVpnInfo(&reply);
    EXPECT_EQ(gateway_.vpnPort, 1194);
    channel.Stop();
    const Published expected = {
        {server, R"({"gwSn":"GW1","cmdId":97,"pcId":"$PC"})"},
        {server, R"({"gwSn":"GW1","vpnPort":0,"switchOn":0,"pcId":"$PC","cmdId":99})"},
        {server,
         R"({"gwSn":"GW1","cmdId":99,"lanIp":"192.168.8.1","lanMask":"255.255.255.0","pcId":"$PC","switchOn":1})"},
        {server, R"({"gwSn":"GW1","vpnPort":1194,"switchOn":0,"pcId":"$PC","cmdId":99})"},
    };
    const std::vector<MqttTestClient::Message> got = bed_.TakePublished(expected.size());
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].topic, expected[i].first);
        EXPECT_EQ(got[i].payload, TunnelTestBed::WithPc(expected[i].second));
        EXPECT_EQ(got[i].qos, 2);
    }
    QFile profile(QString::fromStdString(VpnWorkingFolder() + kVpnProfileFile));
    ASSERT_TRUE(profile.open(QIODevice::ReadOnly));
    EXPECT_TRUE(profile.readAll().contains("\nremote 127.0.0.1 1194\n"));
    QFile credentials(QString::fromStdString(VpnWorkingFolder() + kVpnCredentialsFile));
    ASSERT_TRUE(credentials.open(QIODevice::ReadOnly));
    EXPECT_EQ(credentials.readAll(), QByteArray("alice\n730158"));
}

} // namespace
