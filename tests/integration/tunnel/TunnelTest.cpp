// What each tunnel does with each inbound message and view call: its reports and, seen
// from a far-side client of a real broker, the topic, QoS and bytes it publishes.

#include "app/Installation.h"
#include "app/JsonPtr.h"
#include "cloud/CNodeDevice.h"
#include "cloud/CNodeGateway.h"
#include "endpoint/ComTransferData.h"
#include "endpoint/ComTransparent.h"
#include "mqtt-c/MqttConnection.h"
#include "mqtt-c/TunnelRouting.h"
#include "mqtt-c/VpnInfoRecord.h"
#include "platform/MessageWindow.h"
#include "platform/WindowMessages.h"
#include "support/FreePort.h"
#include "support/LoopbackPeer.h"
#include "support/MessageBoxRecorder.h"
#include "support/MqttClientThread.h"
#include "support/PlatconfBuilder.h"
#include "support/RecordingTunnelHost.h"
#include "support/TempDir.h"
#include "support/VcomFolder.h"
#include "tunnel/CComDataTunnel.h"
#include "tunnel/CNetPfLocalDataTunnel.h"
#include "tunnel/CVPNDataTunnel.h"
#include "tunnel/PortForwardListener.h"
#include "tunnel/TunnelObserver.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>

#include <cjson/cJSON.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <tuple>
#include <utility>

namespace {

const char kPc[] = "17250000009876543210";
const std::string kToPc = std::string("/") + kPc + "/lumetraToPC";
const char kMarker[] = "/tunnel-test/marker";

// `text` with every "$PC" replaced by the PC identifier.
std::string WithPc(std::string text)
{
    for (size_t at = text.find("$PC"); at != std::string::npos; at = text.find("$PC", at))
        text.replace(at, 3, kPc);
    return text;
}

// The calls a tunnel made on one party, in order: the call, the tunnel it named (as
// the party sees it; null for none) and the JSON it carried ("" for none).
class ReportLog
{
public:
    struct Report
    {
        std::string call;
        const void* tunnel;
        std::string json;
    };

    // The reports so far, which are then forgotten.
    std::vector<Report> Take()
    {
        std::lock_guard<std::mutex> guard(lock_);
        return std::exchange(reports_, {});
    }

protected:
    void Record(const char* call, const void* tunnel, const cJSON* json)
    {
        const JsonText text(json != nullptr ? cJSON_PrintUnformatted(json) : nullptr);
        std::lock_guard<std::mutex> guard(lock_);
        reports_.push_back({call, tunnel, text != nullptr ? text.get() : ""});
    }

private:
    std::mutex lock_;
    std::vector<Report> reports_;
};

const char kOpened[] = "opened";
const char kClosed[] = "closed";
const char kReply[] = "reply";
const char kSetUp[] = "set up";
const char kClose[] = "close";
const char kMatched[] = "matched";
const char kAckd[] = "ack";
const char kData[] = "data";
const char kNotice[] = "notice";

// The observer of a tunnel, as the gateway detail controller is: it keeps the active
// tunnel list (opened / closed), routes inbound tunnel traffic the broker delivers
// to the listed tunnels and accepts a reply with "flag" 1 by handing the tunnel the
// acceptance notice. Every report is recorded, and so is any other window message.
class TunnelView : public platform::MessageWindow, public TunnelObserver, public ReportLog
{
public:
    platform::LResult WindowProc(platform::MsgCode msg, platform::WParam wParam,
                                 platform::LParam lParam) override
    {
        std::lock_guard<std::recursive_mutex> guard(listLock_);
        TunnelInbound kind;
        if (msg == WM_TUNNEL_MESSAGE)
            return TunnelInboundFromRouteCode(lParam, &kind)
                       ? RouteTunnelMessage(reinterpret_cast<cJSON*>(wParam), kind, listLock_, active_)
                       : 0;
        Record("window message", nullptr, nullptr);
        return 0;
    }

    void OnTunnelOpened(CDataTunnel& tunnel) override
    {
        std::lock_guard<std::recursive_mutex> guard(listLock_);
        active_.erase(std::remove(active_.begin(), active_.end(), &tunnel), active_.end());
        active_.push_back(&tunnel);
        Record(kOpened, &tunnel, nullptr);
    }
    void OnTunnelClosed(CDataTunnel& tunnel) override
    {
        std::lock_guard<std::recursive_mutex> guard(listLock_);
        active_.erase(std::remove(active_.begin(), active_.end(), &tunnel), active_.end());
        Record(kClosed, &tunnel, nullptr);
    }
    void OnTunnelReply(CDataTunnel& tunnel, const cJSON* reply) override
    {
        Record(kReply, &tunnel, reply);
        const cJSON* flag = cJSON_GetObjectItem(reply, "flag");
        if (cJSON_IsNumber(flag) && flag->valueint == 1)
            tunnel.OnOpenAccepted();
    }
    platform::MessageWindow* MessageBoxOwner() override { return this; }

private:
    std::recursive_mutex listLock_;
    std::vector<CDataTunnel*> active_;
};

// The local listener of the tunnel host: records every call; a set-up answers with
// `answer` when it is set, else with nothing.
class ListenerRecorder : public PortForwardListener, public ReportLog
{
public:
    JsonPtr SetUp(LocalListenerOwner& owner) override
    {
        Record(kSetUp, &owner, nullptr);
        return JsonPtr(answer.empty() ? nullptr : cJSON_Parse(answer.c_str()));
    }
    void Close(LocalListenerOwner& owner) override { Record(kClose, &owner, nullptr); }
    std::string Where(const LocalListenerOwner& /*owner*/) const override { return std::string(); }
    void HoldReading(LocalListenerOwner& /*owner*/, bool /*hold*/) override {}
    void OnMatched(LocalListenerOwner& owner, const cJSON* message) override
    {
        Record(kMatched, &owner, message);
    }
    void OnAck(LocalListenerOwner& owner, const cJSON* message) override { Record(kAckd, &owner, message); }
    void OnData(LocalListenerOwner& owner, const cJSON* message) override { Record(kData, &owner, message); }
    void OnNotice(LocalListenerOwner& owner, const cJSON* message) override
    {
        Record(kNotice, &owner, message);
    }

    std::string answer;
};

using Published = std::vector<std::pair<std::string, std::string>>; // topic, payload ("$PC": the PC)
using Sent = std::vector<std::pair<std::string, std::string>>;      // call, JSON

const char kDown[] = "/GW1/down";
const char kBinder[] = "/sys/varnex_binder/sub";
const char kBind[] = R"({"cmd_id":2983,"gw_sn":"GW1","dev_sn":"DEV1","pc_id":"$PC"})";
const char kOpenRequest[] =
    R"({"ctrl_root":{"forward_topic":"/ipc/kavno/publish"},"payload_root":{"cmdId":2996,"dev_sn":"DEV1","pc_id":"$PC"}})";
const char kReply2994[] =
    R"({"ctrl_root":{"forward_topic":"/ipc/kavno/publish/lumetra"},"payload_root":{"cmdId":2994,"dev_sn":"DEV1","pc_id":"$PC"}})";
const char kUnbind[] =
    R"({"ctrl_root":{"forward_topic":"/ipc/kavno/publish"},"payload_root":{"cmdId":2998,"dev_sn":"DEV1","pc_id":"$PC"}})";
const char kLinkParameters[] =
    R"({"cmd_id":3000,"link_type":1,"pc_id":"$PC","gw_sn":"GW1","dev_sn":"DEV1","com":"COM2","baud":9600,"parity":"E","data_bit":8,"stop_bit":1})";
const char kLinkRelease[] = R"({"cmd_id":3002,"link_type":1,"pc_id":"$PC","gw_sn":"GW1","dev_sn":"DEV1"})";
const char kUnreachable[] = R"({"flag":0,"msg":"服务器端口访问不了","encode":"ascii"})";

// Codes of the steps that call the tunnel's Start, Stop and OnOpenAccepted (the
// view's acceptance notice) instead of OnMessage; every other code is a routing code.
constexpr long kStart = -1;
constexpr long kStop = -2;
constexpr long kAccepted = -3;

struct Step
{
    long code;
    const char* message; // null: the view's notice without a message
    Published published = {};
    Sent toView = {};     // the reports to the observer
    Sent toListener = {}; // the calls of the local listener
    const char* box = nullptr;
    // A reply no request of the tunnel waits for (any more): ignored with one line
    // on standard error.
    bool dropped = false;
};

Step Dropped(long code, const char* message)
{
    Step step{code, message};
    step.dropped = true;
    return step;
}

// Each test runs against a real broker, the program's MQTT client on its own thread
// (this thread is the UI thread), a far-side client subscribed to every topic, and a
// fresh program folder with its own custom resource file.
class TunnelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qputenv("LUMETRA_HOME", home_.Path().toUtf8());
        qputenv("USERPROFILE", home_.Path().toUtf8());
        installation_.SetPcId(kPc);
        client_.Connection().SetPcId(kPc, std::strlen(kPc));
        // The client's own diagnostics go to a file of the test, not into its output.
        diagnostics_ = std::tmpfile();
        client_.Connection().SetStreams(diagnostics_, diagnostics_);
        SetResources({});
        ASSERT_TRUE(QFile::link(LUMETRA_BIN_DIR "/lumetra-vcom", home_.FilePath("lumetra-vcom")));
        ASSERT_TRUE(broker_.Start()) << broker_.Error().toStdString();
        ASSERT_TRUE(farSide_.Connect(broker_.Host(), broker_.Port(), broker_.User(), broker_.Password()));
        ASSERT_TRUE(farSide_.Subscribe("#", 2));
        client_.Start(broker_);
        ASSERT_TRUE(MqttClientThread::WaitSubscribed(broker_, kPc));
        client_.Connection().SetTargetWindow(&view_);
        gateway_.gwSn = "GW1";
        gateway_.lanIp = "192.168.8.1";
        gateway_.lanMask = "255.255.255.0";
        device_.deviceSn = "DEV1";
        device_.tunType = 2;
        device_.com = "COM2";
        device_.baud = 9600;
        device_.parity = 2;
        device_.databit = 8;
        device_.stopbit = 1;
        device_.ip = "192.168.1.20";
        device_.port = 502;
    }

    void TearDown() override
    {
        client_.Connection().SetTargetWindow(nullptr);
        EXPECT_TRUE(client_.Stop()) << "the MQTT client did not stop";
        farSide_.Disconnect();
        broker_.Stop();
        client_.Connection().SetStreams(nullptr, nullptr);
        if (diagnostics_ != nullptr)
            std::fclose(diagnostics_);
    }

    // What the tunnels under test publish through: the client's connection; their
    // host is host_.
    TunnelServices Services()
    {
        return TunnelServices{&client_.Connection(), &installation_, &installation_.Trace(), &host_};
    }

    // Writes and loads the custom resource file with these text entries.
    void SetResources(const std::map<std::string, std::string>& entries)
    {
        PlatconfBuilder builder;
        for (const auto& [name, text] : entries)
            builder.Text(name, text);
        ASSERT_FALSE(builder.WriteInto(home_.Path()).isEmpty());
        installation_.LoadCustomResources();
    }

    // Checks what the PC published since the last check. A marker published last and
    // waited for makes the answer complete; QoS 2 messages, which a marker may
    // overtake, are waited for by count only.
    void ExpectPublished(const Published& expected, const std::string& label, int qos = 0)
    {
        const std::string marker = std::to_string(++markers_);
        if (qos != 2)
            client_.Connection().Publish(kMarker, marker.data(), static_cast<int>(marker.size()), 0);
        std::vector<MqttTestClient::Message> all;
        size_t end = taken_;
        const bool seen = PumpUntil([&] {
            all = farSide_.Messages();
            if (qos == 2) {
                end = all.size();
                return end >= taken_ + expected.size();
            }
            // The marker can overtake what an answer still on its way will make the
            // PC publish: wait for the expected number as well, then take everything.
            bool marked = false;
            size_t count = 0;
            for (size_t i = taken_; i < all.size(); ++i) {
                marked = marked || (all[i].topic == kMarker && all[i].payload == marker);
                count += all[i].topic != kToPc && all[i].topic != kMarker ? 1 : 0;
            }
            end = all.size();
            return marked && count >= expected.size();
        });
        EXPECT_TRUE(seen) << label << ": the marker or the messages did not come";
        std::vector<std::tuple<std::string, std::string, int>> got, want;
        for (size_t i = taken_; i < end; ++i) {
            if (all[i].topic != kToPc && all[i].topic != kMarker)
                got.emplace_back(all[i].topic, all[i].payload, all[i].qos);
        }
        taken_ = end;
        for (const auto& [topic, payload] : expected)
            want.emplace_back(topic, WithPc(payload), qos);
        EXPECT_EQ(got, want) << label;
    }

    // Every report names `tunnel`, as the party knows it (the listener's close too:
    // each tunnel has a listener of its own).
    void ExpectSent(ReportLog& party, const Sent& expected, const std::string& label, const void* tunnel)
    {
        Sent got;
        for (const ReportLog::Report& report : party.Take()) {
            got.emplace_back(report.call, report.json);
            EXPECT_EQ(report.tunnel, tunnel) << label << " " << report.call;
        }
        EXPECT_EQ(got, expected) << label;
    }

    void RunSteps(CDataTunnel& tunnel, const std::vector<Step>& steps)
    {
        for (const Step& step : steps) {
            const std::string label = std::to_string(step.code) + " " + (step.message ? step.message : "-");
            MessageBoxRecorder boxes;
            const JsonPtr message(step.message != nullptr ? cJSON_Parse(step.message) : nullptr);
            testing::internal::CaptureStderr();
            if (step.code == kStart)
                tunnel.Start();
            else if (step.code == kStop)
                tunnel.Stop();
            else if (step.code == kAccepted)
                tunnel.OnOpenAccepted();
            else if (TunnelInbound kind; TunnelInboundFromRouteCode(step.code, &kind))
                tunnel.OnMessage(message.get(), kind);
            const std::string diagnostics = testing::internal::GetCapturedStderr();
            EXPECT_EQ(diagnostics.rfind("dropped cmdId", 0) == 0, step.dropped)
                << label << ": " << diagnostics;
            ExpectPublished(step.published, label);
            ExpectSent(view_, step.toView, label, &tunnel);
            ExpectSent(listener_, step.toListener, label, dynamic_cast<LocalListenerOwner*>(&tunnel));
            ASSERT_EQ(boxes.Count(), step.box != nullptr ? 1u : 0u) << label;
            if (step.box != nullptr) {
                EXPECT_EQ(boxes.Boxes()[0].text, QString::fromUtf8(step.box));
                EXPECT_EQ(boxes.Boxes()[0].caption, QStringLiteral("Lumetra"));
                EXPECT_EQ(boxes.Boxes()[0].owner, &view_);
            }
        }
    }

    TempDir home_;
    Installation installation_{home_.Path()};
    VcomFolder vcom_; // its pairs go with it
    MosquittoBroker broker_;
    MqttTestClient farSide_{"tunnel-far-side"};
    MqttClientThread client_;
    FILE* diagnostics_ = nullptr;
    size_t taken_ = 0;
    int markers_ = 0;
    CNodeGateway gateway_;
    CNodeDevice device_;
    TunnelView view_;
    ListenerRecorder listener_;
    // The port-forward tunnels reach listener_ through the host.
    RecordingTunnelHost host_{&listener_};
};

// Every reply is taken once, and only after the request it answers went out: the
// steps follow one open after another, with the repeats and the replies nobody asked
// for between them.
TEST_F(TunnelTest, SerialTunnelConversations)
{
    CComDataTunnel tunnel(Services(), &view_, &gateway_, &device_);
    // A port-transfer server that refuses the registration's connection.
    SetResources(
        {{"port_transfer_host", "127.0.0.1"}, {"port_transfer_port", std::to_string(FreePort::Pick())}});
    const std::string result = R"({"cmdId":2993,"flag":1,"msg":"ok"})";
    const std::string pending = R"({"cmdId":3001,"st":1,"flag":1})";
    const char registered[] = R"({"cmdId":3001,"st":2,"flag":1})";
    const char bound[] = R"({"cmdId":2984,"is_bind":0})";
    const char parameters[] = R"({"cmdId":2995})";
    const Step start{kStart, nullptr, {{kBinder, kBind}}, {{kOpened, ""}}};
    const Step stop{kStop, nullptr, {{kDown, kUnbind}, {kBinder, kLinkRelease}}, {{kClosed, ""}}};
    const Step bind{kCmdBindAnswer, bound, {{kDown, kOpenRequest}}};
    const Step parameterRequest{WM_TUNNEL_TARGET_REQUEST, parameters, {{kBinder, kLinkParameters}}};
    RunSteps(tunnel,
             {
                 // Before any start nothing is welcome.
                 Dropped(kCmdBindAnswer, bound),
                 Dropped(WM_TUNNEL_RESULT, result.c_str()),
                 start,
                 Dropped(WM_TUNNEL_TARGET_REQUEST, parameters), // no open request went out yet
                 {kCmdBindAnswer, R"({"cmdId":2984})"},         // no answer in it
                 bind,
                 Dropped(kCmdBindAnswer, R"({"cmdId":2984,"is_bind":1})"),
                 parameterRequest,
                 Dropped(WM_TUNNEL_TARGET_REQUEST, parameters),
                 {kCmdRegistrationResult, R"({"cmdId":3001,"st":2})"},
                 {kCmdRegistrationResult, pending.c_str(), {}, {{kReply, pending}}},
                 Dropped(kCmdRegistrationResult, registered),
                 {WM_TUNNEL_RESULT, R"({"cmdId":2993,"flag":1})"},
                 // An accepted result opens the COM port of the started pair.
                 {WM_TUNNEL_RESULT, result.c_str(), {}, {{kReply, result}}},
                 Dropped(WM_TUNNEL_RESULT, result.c_str()),
                 {WM_TUNNEL_REPLY_REQUEST, R"({"cmdId":2997})", {{kDown, kReply2994}}},
                 {WM_TUNNEL_FAR_END_CLOSED, R"({"cmdId":3003})", {{kDown, kUnbind}}, {{kClosed, ""}}},
                 Dropped(WM_TUNNEL_FAR_END_CLOSED, R"({"cmdId":3003})"),
                 {kAccepted, nullptr},
                 {WM_SERIAL_DATA_IN, R"({"pt_sn":1,"pt_payload":"QQ==","payload_len":4})"},
                 {kCmdAck, R"({"cmdId":2987,"seq":1})"},
                 stop,
                 Dropped(kCmdBindAnswer, bound),
                 // Occupied: no open request goes out, so no parameter request is welcome.
                 start,
                 {kCmdBindAnswer,
                  R"({"cmdId":2984,"is_bind":1})",
                  {},
                  {{kReply, R"({"flag":0,"msg":"通道占用中！","encode":"ascii"})"}}},
                 Dropped(WM_TUNNEL_TARGET_REQUEST, parameters),
                 stop,
                 start,
                 bind,
                 parameterRequest,
                 {kCmdRegistrationResult, R"({"cmdId":3001,"st":2,"flag":0})", {}, {}, {}, "设备注册失败！"},
                 stop,
                 start,
                 bind,
                 parameterRequest,
                 {kCmdRegistrationResult, registered, {}, {{kReply, kUnreachable}}},
                 stop,
             });
    tunnel.WriteToCom(reinterpret_cast<const unsigned char*>("abc"), 3);
    // Without the port-transfer entries the registration is reported the same way.
    SetResources({});
    RunSteps(tunnel, {start});
    // While it runs on the pair the tunnel holds a serial endpoint of its own per half.
    ASSERT_NE(tunnel.GetUserEndpoint(), nullptr);
    ASSERT_NE(tunnel.GetProgramEndpoint(), nullptr);
    EXPECT_EQ(tunnel.GetUserEndpoint()->Tunnel(), &tunnel);
    EXPECT_EQ(tunnel.GetProgramEndpoint()->Tunnel(), &tunnel);
    RunSteps(
        tunnel,
        {bind, parameterRequest, {kCmdRegistrationResult, registered, {}, {{kReply, kUnreachable}}}, stop});
    EXPECT_EQ(tunnel.GetUserEndpoint(), nullptr);
    EXPECT_EQ(tunnel.GetProgramEndpoint(), nullptr);
    tunnel.OnTimeout();
    ExpectPublished({}, "time-out");
}

TEST_F(TunnelTest, PortForwardTunnelConversations)
{
    device_.tunType = 1;
    // The relay takes the registration, so its occupancy answer is awaited.
    LoopbackPeer relay;
    ASSERT_NE(relay.Port(), 0);
    SetResources({{"relay_host", "127.0.0.1"}, {"relay_port", std::to_string(relay.Port())}});
    CNetPfLocalDataTunnel tunnel(Services(), &view_, &gateway_, &device_);
    const std::string matched = R"({"cmdId":2986,"pt_sn":1})";
    const std::string ack = R"({"cmdId":2987,"seq":4})";
    const std::string data = R"({"cmdId":2988,"pt_sn":2,"pt_payload":"QUI="})";
    const std::string notice = R"({"cmdId":2991})";
    const std::string refused = R"({"cmdId":2993,"flag":0,"msg":"no"})";
    const char free[] = R"({"cmdId":2984,"is_occupy":false})";
    const char parameters[] = R"({"cmdId":2995})";
    const char target[] =
        R"({"ctrl_root":{"forward_topic":"/ipc/kavno/publish/lumetra"},"payload_root":{"cmdId":2992,"dev_sn":"DEV1","pc_id":"$PC","tun_type":1,"dev_ip":"192.168.1.20","dev_port":502}})";
    // The local listener is set up only once the open was accepted.
    const Step start{kStart, nullptr, {}, {{kOpened, ""}}};
    const Step stop{kStop, nullptr, {{kDown, kUnbind}}, {{kClosed, ""}}, {{kClose, ""}}};
    const Step accepted{WM_TUNNEL_RESULT, R"({"cmdId":2993,"flag":1,"msg":"ok"})", {}, {}, {{kSetUp, ""}}};
    const Step occupancy{kCmdBindAnswer, free, {{kDown, kOpenRequest}}};
    const Step targetRequest{WM_TUNNEL_TARGET_REQUEST, parameters, {{kDown, target}}};
    RunSteps(tunnel, {
                         start,
                         Dropped(WM_TUNNEL_TARGET_REQUEST, parameters),
                         // An acceptance before the relay registered the device.
                         Dropped(WM_TUNNEL_RESULT, R"({"cmdId":2993,"flag":1,"msg":"ok"})"),
                         {kCmdBindAnswer, R"({"cmdId":2984,"is_bind":1})"}, // not the relay's answer
                         occupancy,
                         Dropped(kCmdBindAnswer, R"({"cmdId":2984,"is_occupy":true})"),
                         {WM_PORT_FORWARD_MATCHED, matched.c_str(), {}, {}, {{kMatched, matched}}},
                         {kCmdAck, ack.c_str(), {}, {}, {{kAckd, ack}}},
                         {WM_PORT_FORWARD_DATA, data.c_str(), {}, {}, {{kData, data}}},
                         {WM_PORT_FORWARD_NOTICE, notice.c_str(), {}, {}, {{kNotice, notice}}},
                         targetRequest,
                         Dropped(WM_TUNNEL_TARGET_REQUEST, parameters),
                         {WM_TUNNEL_RESULT, R"({"cmdId":2993,"flag":1})"},
                         {WM_TUNNEL_RESULT, nullptr},
                         accepted,
                         Dropped(WM_TUNNEL_RESULT, refused.c_str()),
                         {WM_TUNNEL_REPLY_REQUEST, R"({"cmdId":2997})", {{kDown, kReply2994}}},
                         {WM_TUNNEL_FAR_END_CLOSED, R"({"cmdId":3003})", {{kDown, kUnbind}}, {{kClosed, ""}}},
                         Dropped(WM_TUNNEL_FAR_END_CLOSED, R"({"cmdId":3003})"),
                         {kAccepted, nullptr},
                         stop,
                         start,
                         {kCmdBindAnswer,
                          R"({"cmdId":2984,"is_occupy":true})",
                          {},
                          {{kReply, R"({"flag":0,"msg":"通道占用中","encode":"ascii","errcode":1})"}}},
                         Dropped(WM_TUNNEL_TARGET_REQUEST, parameters),
                         stop,
                         start,
                         occupancy,
                         targetRequest,
                         {WM_TUNNEL_RESULT, refused.c_str(), {}, {{kReply, refused}}},
                         stop,
                         start,
                         occupancy,
                         targetRequest,
                         {WM_TUNNEL_RESULT, R"({"flag":true,"msg":""})", {}, {}, {{kSetUp, ""}}},
                         stop,
                     });
    // The listener's answer to the set-up is a reply of the tunnel to its observer.
    listener_.answer = R"({"flag":0,"msg":"端口绑定失败"})";
    Step unbound = accepted;
    unbound.toView = {{kReply, listener_.answer}};
    RunSteps(tunnel, {start, occupancy, targetRequest, unbound, stop});
    listener_.answer.clear();
    // Without a relay connection no registration went out: its answer is not awaited,
    // and an acceptance opens nothing.
    SetResources({{"relay_host", "127.0.0.1"}, {"relay_port", std::to_string(FreePort::Pick())}});
    RunSteps(tunnel,
             {start, Dropped(kCmdBindAnswer, free), Dropped(WM_TUNNEL_RESULT, accepted.message), stop});
    tunnel.RequestTarget();
    ExpectPublished(
        {{kDown,
          R"({"ctrl_root":{"forward_topic":"/ipc/kavno/publish/lumetra"},"payload_root":{"cmdId":2981,"dev_sn":"DEV1","pc_id":"$PC"}})"}},
        "target");
    // Bytes from the relay with no local connection are dropped.
    tunnel.OnRelayData(reinterpret_cast<const unsigned char*>("xy"), 2);

    // A time-out sends one release frame to the port-transfer server, and only when
    // it is configured.
    LoopbackPeer server;
    ASSERT_NE(server.Port(), 0);
    SetResources({{"port_transfer_host", "127.0.0.1"}});
    tunnel.OnTimeout();
    EXPECT_FALSE(PumpUntil([&] { return server.connection != nullptr; }, 200));

    SetResources(
        {{"port_transfer_host", "127.0.0.1"}, {"port_transfer_port", std::to_string(server.Port())}});
    tunnel.OnTimeout();
    const std::string json =
        WithPc(R"({"cmd_id":3002,"gw_sn":"GW1","dev_sn":"DEV1","pc_id":"$PC","restart_gw_service":0})");
    EXPECT_TRUE(PumpUntil([&] { return server.peerClosed; }));
    EXPECT_EQ(server.received.toStdString(),
              std::string("zelq") + char(json.size()) + char(json.size() >> 8) + json);
    ExpectPublished({}, "timeout");
}

TEST_F(TunnelTest, BaseMessagesAndData)
{
    CComDataTunnel serial(Services(), &view_, &gateway_, &device_);
    CVPNDataTunnel channel(Services(), &gateway_);
    CComDataTunnel detached(Services(), &view_, nullptr, &device_);
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
    const std::string envelope =
        R"({"ctrl_root":{"forward_topic":"/ipc/kavno/publish/lumetra"},"payload_root":)";
    ExpectPublished(
        {
            {kBinder, kBind},
            {kBinder, R"({"cmd_id":2978,"pc_id":"$PC"})"},
            {kDown, envelope + R"({"cmdId":2987,"dev_sn":"DEV1","pc_id":"$PC","seq":7}})"},
            {kDown, envelope + R"({"cmdId":2985,"dev_sn":"DEV1","pc_id":"$PC"}})"},
            {"/sys/transparent/GW1/down",
             envelope +
                 R"({"cmdId":2990,"dev_sn":"DEV1","pc_id":"$PC","pt_sn":5,"tun_type":2,"pt_payload":"QUI=","pt_len":2,"sock_new":1}})"},
            {kDown,
             envelope +
                 R"({"cmdId":2990,"dev_sn":"","pc_id":"$PC","pt_sn":5,"tun_type":0,"pt_payload":"QUI="}})"},
        },
        "base");
    ASSERT_TRUE(installation_.Trace().Flush());
    EXPECT_TRUE(QFile(home_.FilePath("logtrace")).exists());
}

TEST_F(TunnelTest, VpnChannelRequests)
{
    CVPNDataTunnel channel(Services(), &gateway_);
    const std::string server = std::string("/") + kPc + "/lumetraToServer";
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
    ExpectPublished(
        {
            {server, R"({"gwSn":"GW1","cmdId":97,"pcId":"$PC"})"},
            {server, R"({"gwSn":"GW1","vpnPort":0,"switchOn":0,"pcId":"$PC","cmdId":99})"},
            {server,
             R"({"gwSn":"GW1","cmdId":99,"lanIp":"192.168.8.1","lanMask":"255.255.255.0","pcId":"$PC","switchOn":1})"},
            {server, R"({"gwSn":"GW1","vpnPort":1194,"switchOn":0,"pcId":"$PC","cmdId":99})"},
        },
        "vpn", 2);
}

} // namespace

// The main thread of the tunnel tests is the UI thread: it owns the application
// object, runs the sockets and handles the messages the MQTT thread sends.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
