// The gateway detail controller against a real broker: the MQTT thread delivers to
// the controller on this test's main thread (the UI thread), a second client plays
// the far side, message boxes are recorded and answered as scripted, and the waiting
// dialogs run with a short time-out.

#include "control/GatewayDetailController.h"
#include "app/Installation.h"
#include "cloud/CNodeDevice.h"
#include "cloud/CNodeGateway.h"
#include "control/DeviceTableHost.h"
#include "control/Session.h"
#include "endpoint/VpnClientControl.h"
#include "mqtt-c/MqttConnection.h"
#include "platform/MessageBox.h"
#include "platform/TipsDialog.h"
#include "support/FreePort.h"
#include "support/MessageBoxRecorder.h"
#include "support/MqttClientThread.h"
#include "support/PlatconfBuilder.h"
#include "support/RecordingTunnelHost.h"
#include "support/ScopedEnv.h"
#include "support/StderrCapture.h"
#include "support/TempDir.h"
#include "support/VcomFolder.h"
#include "tunnel/CNetPfLocalDataTunnel.h"
#include "tunnel/CVPNDataTunnel.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

const char kPc[] = "17250000009876543210";

// The main window's part: keeps the device lists it was given and the rows it was
// asked to reset.
class TableHostRecorder : public DeviceTableHost
{
public:
    void ShowDeviceList(const DeviceList& devices) override { shown.push_back(&devices); }
    void ResetRowButton(int row) override { resetRows.push_back(row); }

    std::vector<const DeviceList*> shown;
    std::vector<int> resetRows;
};
const std::string kPcTopic = std::string("/") + kPc + "/lumetraToPC";
const std::string kServerTopic = std::string("/") + kPc + "/lumetraToServer";
// Long enough for any answer; the time-out cases shorten it.
constexpr int kAnswerTimeoutMs = 10000;
constexpr int kShortTimeoutMs = 300;

// Shows no window; keeps the text of every waiting dialog and runs the next scripted
// action once a dialog waits.
class TipsRecorder : public platform::TipsDialog::Presenter
{
public:
    TipsRecorder() : previous_(platform::TipsDialog::SetPresenter(this)) {}
    ~TipsRecorder() override { platform::TipsDialog::SetPresenter(previous_); }
    bool Show(platform::TipsDialog& dialog) override
    {
        texts.push_back(dialog.Text().toStdString());
        if (next) {
            QTimer::singleShot(0, qApp, std::move(next));
            next = nullptr;
        }
        return false;
    }
    void Hide(platform::TipsDialog&) override {}
    std::vector<std::string> texts;
    std::function<void()> next;

private:
    platform::TipsDialog::Presenter* previous_;
};

std::unique_ptr<CNodeDevice> MakeDevice(int id, const char* sn, int tunType)
{
    auto device = std::make_unique<CNodeDevice>();
    device->deviceId = id;
    device->deviceSn = QString::fromUtf8(sn);
    device->tunType = tunType;
    device->ifaceType = tunType == 2 ? 1 : 0;
    device->protocol = 13;
    device->ip = QStringLiteral("192.168.1.20");
    device->port = 502;
    device->com = QStringLiteral("COM1");
    device->baud = 9600;
    device->databit = 8;
    device->stopbit = 1;
    return device;
}

class GatewayDetail : public ::testing::Test
{
protected:
    // The installation's custom resources, loaded: nothing listens on the servers'
    // port, so the port-forward tunnel's relay and release connections fail at once;
    // "single_tunnel" "1" when `oneAtATime`.
    void WritePlatconf(bool oneAtATime)
    {
        if (closedPort_.empty())
            closedPort_ = std::to_string(FreePort::Pick());
        PlatconfBuilder platconf;
        platconf.Text("port_transfer_host", "127.0.0.1")
            .Text("port_transfer_port", closedPort_)
            .Text("relay_port", closedPort_);
        if (oneAtATime)
            platconf.Text("single_tunnel", "1");
        ASSERT_FALSE(platconf.WriteInto(home_.Path()).isEmpty());
        installation_.LoadCustomResources();
    }

    void SetUp() override
    {
        ASSERT_TRUE(home_.IsValid());
        ASSERT_NO_FATAL_FAILURE(WritePlatconf(false));
        QFile::link(LUMETRA_BIN_DIR "/lumetra-vcom", home_.FilePath("lumetra-vcom"));

        ASSERT_TRUE(broker_.Start()) << broker_.Error().toStdString();
        client_.Connection().SetPcId(kPc, std::strlen(kPc));
        log_ = std::tmpfile();
        client_.Connection().SetStreams(log_, log_);
        client_.Connection().SetTargetWindow(&controller_);
        client_.Start(broker_);
        ASSERT_TRUE(MqttClientThread::WaitSubscribed(broker_, kPc));
        ASSERT_TRUE(farSide_.Connect(broker_.Host(), broker_.Port(), broker_.User(), broker_.Password()));
        ASSERT_TRUE(farSide_.Subscribe("/#", 1));

        controller_.SetDeviceTableHost(&tableHost_);
        controller_.SetTunnelHost(&tunnelHost_);
        controller_.SetTipsTimeout(kAnswerTimeoutMs);
        gateway_.gwSn = "GW-CTL-1";
        gateway_.isOnline = "true";
        gateway_.devices.push_back(MakeDevice(1, "S1", 2));
        gateway_.devices.push_back(MakeDevice(2, "S2", 2));
        gateway_.devices.push_back(MakeDevice(3, "P1", 1));
        gateway_.devices.push_back(MakeDevice(4, "P2", 1));
        controller_.SetGateway(&gateway_);
        // The displayed gateway's list goes to the device table's host.
        ASSERT_EQ(tableHost_.shown, std::vector<const DeviceTableHost::DeviceList*>{&gateway_.devices});
    }

    void TearDown() override
    {
        for (const std::unique_ptr<CNodeDevice>& device : gateway_.devices) {
            CDataTunnel* tunnel = controller_.DeviceTunnel(device.get());
            if (tunnel != nullptr && controller_.IsActive(tunnel))
                tunnel->Stop();
        }
        client_.Stop();
        client_.Connection().SetTargetWindow(nullptr);
        client_.Connection().SetStreams(nullptr, nullptr);
        std::fclose(log_);
        // The tunnels point at gateway_, which goes before the controller.
        controller_.ReleaseTunnels();
    }

    CNodeDevice& Device(const char* sn)
    {
        for (const std::unique_ptr<CNodeDevice>& device : gateway_.devices) {
            if (device->deviceSn == QString::fromUtf8(sn))
                return *device;
        }
        throw std::logic_error("no such device");
    }

    // Publishes as the far side while this thread keeps handling messages.
    void Reply(const std::string& json) { EXPECT_TRUE(PublishPumping(farSide_, kPcTopic, json)); }

    static std::string Result(const std::string& devSn, const std::string& members)
    {
        return R"({"cmdId":2993,"gw_sn":"GW-CTL-1","dev_sn":")" + devSn + "\"," + members + "}";
    }

    // As the device table asks; `meanwhile` runs while the request waits for its
    // answer in the waiting dialog.
    void Open(CNodeDevice& device, std::function<void()> meanwhile = {})
    {
        device.tunnelOpen = 1;
        tips_.next = std::move(meanwhile);
        controller_.OpenRequest(&device);
    }

    void Click(std::function<void()> meanwhile = {})
    {
        tips_.next = std::move(meanwhile);
        controller_.ChannelSwitchClicked();
    }

    bool WaitBoxes(size_t count)
    {
        return PumpUntil([&] { return boxes_.Count() >= count; });
    }
    std::string LastBox() { return boxes_.Boxes().back().text.toStdString(); }

    // How many messages the far side saw on `topic` whose payload holds `text`.
    size_t Seen(const std::string& topic, const std::string& text)
    {
        size_t count = 0;
        for (const MqttTestClient::Message& m : farSide_.Messages())
            count += m.topic == topic && m.payload.find(text) != std::string::npos ? 1 : 0;
        return count;
    }
    bool WaitSeen(const std::string& topic, const std::string& text, size_t count = 1)
    {
        return PumpUntil([&] { return Seen(topic, text) >= count; });
    }

    TempDir home_;
    std::string closedPort_;
    Installation installation_{home_.Path()};
    ScopedEnv homeEnv_{"LUMETRA_HOME", home_.Path().toStdString()};
    MosquittoBroker broker_;
    MqttTestClient farSide_{"far-side"};
    MqttClientThread client_;
    FILE* log_ = nullptr;
    MessageBoxRecorder boxes_;
    TipsRecorder tips_;
    TableHostRecorder tableHost_; // the main window's part
    // No listener window: the port-forward tunnels' listener messages go nowhere.
    RecordingTunnelHost tunnelHost_;
    Session session_{CCloudClient()}; // no account: the gateway comes with its devices
    GatewayDetailController controller_{
        session_, TunnelServices{&client_.Connection(), &installation_, &installation_.Trace()}};
    CNodeGateway gateway_;
};

TEST_F(GatewayDetail, RefusedOpenShowsTheMessageByItsEncoding)
{
    const struct
    {
        std::string members;
        std::string shown;
    } cases[] = {
        {R"("flag":0,"msg":"设备离线")", "设备离线"},
        {"\"flag\":0,\"msg\":\"\xD5\xBC\xD3\xC3\",\"encode\":\"ascii\"", "占用"}, // GB18030
        {R"("flag":0,"msg":"通道占用中！","encode":"ascii","errcode":1)", "通道占用中！"},
        {R"("flag":0,"msg":"x","encode":"utf-8")", "打开通道失败"},
    };
    CNodeDevice& device = Device("P1");
    size_t boxes = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        Open(device, [&] { Reply(Result("P1", c.members)); });
        ASSERT_TRUE(WaitBoxes(++boxes));
        EXPECT_EQ(LastBox(), c.shown);
        EXPECT_EQ(boxes_.Boxes().back().caption.toStdString(), "Lumetra");
        EXPECT_EQ(device.tunnelOpen, 0);
        EXPECT_FALSE(controller_.IsActive(controller_.DeviceTunnel(&device))); // stopped
    }
    // A refusal is not remembered: it never hides a later answer.
    EXPECT_FALSE(controller_.IsOpenHandled("GW-CTL-1", "P1"));
}

// With "single_tunnel" set: one tunnel of a kind at a time. Without it, a second
// serial tunnel opens beside the first.
TEST_F(GatewayDetail, SuccessIsShownOnceAndOneTunnelRunsPerTypeWhenTheInstallationAsks)
{
    ASSERT_NO_FATAL_FAILURE(WritePlatconf(true));
    VcomFolder pairs;
    ASSERT_TRUE(pairs.IsValid());
    CNodeDevice& s1 = Device("S1");
    Open(s1, [&] { Reply(Result("S1", R"("flag":1,"msg":"ok")")); });
    ASSERT_TRUE(WaitBoxes(1));
    EXPECT_EQ(LastBox(), "串口透传通道建立成功");
    EXPECT_TRUE(controller_.IsActive(controller_.DeviceTunnel(&s1)));
    EXPECT_EQ(s1.tunnelOpen, 1);

    // Repeats of the answer, success or not, show nothing; 2997 -> 2994 marks that
    // they have been handled.
    Reply(Result("S1", R"("flag":1,"msg":"ok")"));
    Reply(Result("S1", R"("flag":0,"msg":"no")"));
    Reply(R"({"cmdId":2997,"gw_sn":"GW-CTL-1","dev_sn":"S1"})");
    ASSERT_TRUE(WaitSeen("/GW-CTL-1/down", "2994"));
    EXPECT_EQ(boxes_.Count(), 1u);

    // A second serial tunnel is refused; a port-forward tunnel may run beside it,
    // but not a second one.
    CNodeDevice& s2 = Device("S2");
    Open(s2);
    ASSERT_TRUE(WaitBoxes(2));
    EXPECT_EQ(LastBox(), "暂不支持多条通道");
    EXPECT_EQ(s2.tunnelOpen, 0);
    size_t activeWhileWaiting = 0;
    Open(Device("P1"), [&] {
        activeWhileWaiting = controller_.ActiveTunnels().size();
        Open(Device("P2"));
        Reply(Result("P1", R"("flag":0,"msg":"later")"));
    });
    ASSERT_TRUE(WaitBoxes(4));
    EXPECT_EQ(activeWhileWaiting, 2u);
    EXPECT_EQ(boxes_.Boxes()[2].text.toStdString(), "暂不支持多条通道");
    EXPECT_EQ(Device("P2").tunnelOpen, 0);
    EXPECT_EQ(LastBox(), "later");

    // A close request forgets the pair: the next success is shown again.
    controller_.CloseRequest(&s1);
    ASSERT_TRUE(WaitBoxes(5));
    EXPECT_EQ(LastBox(), "串口透传通道关闭成功");
    EXPECT_FALSE(controller_.IsOpenHandled("GW-CTL-1", "S1"));
    Open(s1, [&] { Reply(Result("S1", R"("flag":1,"msg":"ok")")); });
    ASSERT_TRUE(WaitBoxes(6));
    EXPECT_EQ(LastBox(), "串口透传通道建立成功");

    // The setting off (the default): the second serial tunnel runs beside the first.
    ASSERT_NO_FATAL_FAILURE(WritePlatconf(false));
    Open(s2, [&] { Reply(Result("S2", R"("flag":1,"msg":"ok")")); });
    ASSERT_TRUE(WaitBoxes(7));
    EXPECT_EQ(LastBox(), "串口透传通道建立成功");
    EXPECT_TRUE(controller_.IsActive(controller_.DeviceTunnel(&s1)));
    EXPECT_TRUE(controller_.IsActive(controller_.DeviceTunnel(&s2)));
    EXPECT_EQ(s2.tunnelOpen, 1);
    controller_.DeviceTunnel(&s2)->Stop();
    controller_.DeviceTunnel(&s1)->Stop();
}

// The window tests show the refusals, the time-out of an open request and moving the
// channel; here: the time-out of a channel request, which resets no device row.
TEST_F(GatewayDetail, UnansweredChannelRequestTimesOutWithoutADeviceRow)
{
    controller_.SetTipsTimeout(kShortTimeoutMs);
    Click();
    ASSERT_EQ(boxes_.Count(), 1u);
    EXPECT_EQ(LastBox(), "请求超时");
    EXPECT_EQ(tableHost_.resetRows, std::vector<int>{-1});
    EXPECT_TRUE(WaitSeen(kServerTopic, R"("gwSn":"GW-CTL-1","cmdId":97)"));
    EXPECT_FALSE(controller_.SwitchOn());
}

// Anybody on the broker can publish to this PC's topic. A channel grant is taken
// once, for a request of this PC that waits for it, and only when its members cannot
// add a line or an option to the VPN client's files; state reports and channel ends
// count only for the gateway whose channel this PC holds. Whatever is dropped writes
// nothing, starts nothing and says so in one line on standard error.
TEST_F(GatewayDetail, ForgedChannelMessagesWriteNothingAndStartNothing)
{
    int starts = 0;
    controller_.SetVpnClientCalls([&] { return ++starts > 0; }, [] {});
    const QString profile = QString::fromStdString(VpnWorkingFolder() + kVpnProfileFile);
    const QString credentials = QString::fromStdString(VpnWorkingFolder() + kVpnCredentialsFile);
    const auto read = [](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    StderrCapture err;
    size_t dropped = 0;
    const auto expectDropped = [&](size_t more) {
        dropped += more;
        EXPECT_TRUE(PumpUntil([&] { return err.CountLines("dropped ") >= dropped; })) << err.Text();
    };
    const std::string grant = R"({"cmdId":100,"gwSn":"GW-CTL-1","busiCode":0,"isSwitchOn":1,"pcId":")" +
                              std::string(kPc) + R"(","vpnport":1194,"userName":"u","passwd":"730158",)";

    // Nothing asked for yet: a grant for this gateway or an unknown one, a serial
    // readiness notice, a state report and a channel end.
    Reply(grant + R"("vpnserverIp":"127.0.0.1"})");
    Reply(R"({"cmdId":100,"gwSn":"GW-UNKNOWN","busiCode":0,"isSwitchOn":1,"vpnserverIp":"127.0.0.1",)"
          R"("vpnport":1194,"userName":"u"})");
    Reply(R"({"cmdId":1011,"gwSn":"GW-CTL-1","devId":1})");
    Reply(R"({"cmdId":98,"flag":1,"gwSn":"GW-CTL-1","lanIp":"10.0.0.1","csq":"31","lanMask":"255.0.0.0"})");
    Reply(R"({"cmdId":100,"gwSn":"GW-CTL-1","busiCode":0,"isSwitchOn":0})");
    expectDropped(5);
    EXPECT_EQ(
        err.CountLines("dropped channel reply (cmdId 100) for gateway \"GW-UNKNOWN\": no channel request"),
        1u);
    EXPECT_FALSE(QFile::exists(profile));
    EXPECT_EQ(starts, 0);
    EXPECT_EQ(boxes_.Count(), 0u);
    EXPECT_EQ(controller_.ChannelGateway(), nullptr);

    // While the request waits, grants that would add lines or options are dropped
    // and the request keeps waiting for the genuine one.
    const std::string forged[] = {
        grant + R"("vpnserverIp":"127.0.0.1\nscript-security 2\nup /bin/sh"})",
        grant + R"("vpnserverIp":"127.0.0.1 1194\nwritepid /tmp/lumetra-forged"})",
        R"({"cmdId":100,"gwSn":"GW-CTL-1","busiCode":0,"isSwitchOn":1,"vpnserverIp":"127.0.0.1","vpnport":1194,)"
        R"("userName":"u\nplugin /tmp/evil.so"})",
        grant + R"("vpnserverIp":")" + std::string(300, 'v') + R"("})",
        R"({"cmdId":100,"gwSn":"GW-CTL-1","busiCode":0,"isSwitchOn":1,"vpnserverIp":"127.0.0.1","vpnport":1194,)"
        R"("userName":")" +
            std::string(200, 'u') + R"("})",
        R"({"cmdId":100,"gwSn":"GW-CTL-1","busiCode":0,"isSwitchOn":1,"vpnserverIp":"127.0.0.1","vpnport":70000,)"
        R"("userName":"u"})",
    };
    Click([&] {
        ASSERT_TRUE(WaitSeen(kServerTopic, R"("gwSn":"GW-CTL-1","cmdId":97)"));
        for (const std::string& message : forged)
            Reply(message);
        expectDropped(std::size(forged));
        EXPECT_FALSE(QFile::exists(profile));
        EXPECT_FALSE(QFile::exists(credentials));
        EXPECT_EQ(starts, 0);
        Reply(grant + R"("vpnserverIp":"127.0.0.1"})");
    });
    EXPECT_EQ(starts, 1);
    EXPECT_TRUE(controller_.SwitchOn());
    const QByteArray written = read(profile);
    EXPECT_TRUE(written.contains("\nremote 127.0.0.1 1194\n\n")) << written.toStdString();
    EXPECT_FALSE(written.contains("script-security") || written.contains("plugin") ||
                 written.contains("writepid"));
    EXPECT_EQ(read(credentials), QByteArray("u\n730158"));

    // The request was answered: neither a repeat nor an injected grant is taken, and
    // another gateway's report or channel end changes nothing.
    Reply(grant + R"("vpnserverIp":"10.9.9.9"})");
    Reply(grant + R"("vpnserverIp":"127.0.0.1\nup /bin/sh"})");
    Reply(R"({"cmdId":98,"flag":1,"gwSn":"GW-CTL-2","lanIp":"10.0.0.1","csq":"31","lanMask":"255.0.0.0"})");
    Reply(R"({"cmdId":100,"gwSn":"GW-CTL-2","busiCode":0,"isSwitchOn":0})");
    // A report of the held gateway with a text that is no short line is dropped too.
    Reply(R"({"cmdId":98,"flag":1,"gwSn":"GW-CTL-1","lanIp":"10.0.0.1\n","csq":"31","lanMask":"255.0.0.0"})");
    expectDropped(5);
    EXPECT_EQ(read(profile), written);
    EXPECT_EQ(starts, 1);
    EXPECT_TRUE(controller_.SwitchOn());
    EXPECT_EQ(Seen(kServerTopic, R"("cmdId":99)"), 0u);

    // The held gateway's own report is answered with the LAN switch-on, and its
    // channel end ends the channel.
    Reply(R"({"cmdId":98,"flag":1,"gwSn":"GW-CTL-1","lanIp":"10.0.0.1","csq":"31","lanMask":"255.0.0.0"})");
    ASSERT_TRUE(WaitSeen(kServerTopic, R"("lanIp":"10.0.0.1","lanMask":"255.0.0.0")"));
    Reply(R"({"cmdId":100,"gwSn":"GW-CTL-1","busiCode":0,"isSwitchOn":0})");
    EXPECT_TRUE(PumpUntil([&] { return controller_.ChannelGateway() == nullptr; }));
    EXPECT_FALSE(controller_.SwitchOn());
    EXPECT_EQ(err.CountLines("dropped "), dropped);
}

// The VPN service would not start the client for a granted channel: the user reads
// the service's reason in a box, the switch stays OFF, the channel is released at once
// and the far side's answer to that release is taken quietly.
TEST_F(GatewayDetail, AVpnServiceRefusalIsShownAndReleasesTheGrantedChannel)
{
    int starts = 0;
    controller_.SetVpnClientCalls(
        [&] {
            ++starts;
            return VpnStart::Refused("profile line 3: \"up\" refused: runs a program");
        },
        [] {});
    StderrCapture err;
    Click([&] {
        ASSERT_TRUE(WaitSeen(kServerTopic, R"("gwSn":"GW-CTL-1","cmdId":97)"));
        Reply(R"({"cmdId":100,"gwSn":"GW-CTL-1","busiCode":0,"isSwitchOn":1,"pcId":")" + std::string(kPc) +
              R"(","vpnport":1194,"userName":"u","passwd":"730158","vpnserverIp":"127.0.0.1"})");
    });
    ASSERT_TRUE(WaitBoxes(1));
    EXPECT_EQ(LastBox(), "VPN服务拒绝启动VPN客户端：profile line 3: \"up\" refused: runs a program");
    EXPECT_EQ(starts, 1);
    EXPECT_FALSE(controller_.SwitchOn());
    EXPECT_EQ(controller_.ChannelGateway(), nullptr);
    ASSERT_TRUE(WaitSeen(kServerTopic, R"("switchOn":0)"));
    EXPECT_EQ(Seen(kServerTopic, R"("cmdId":99)"), 1u);
    Reply(R"({"cmdId":100,"gwSn":"GW-CTL-1","busiCode":0,"isSwitchOn":0})");
    Reply(R"({"cmdId":98,"flag":1,"gwSn":"GW-CTL-1","lanIp":"10.0.0.1","csq":"31","lanMask":"255.0.0.0"})");
    EXPECT_TRUE(PumpUntil([&] { return err.CountLines("dropped ") >= 1; }));
    EXPECT_EQ(err.CountLines("dropped channel-ended"), 0u) << err.Text();
    EXPECT_EQ(boxes_.Count(), 1u);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
