// A gateway's maintenance channel switched on by `lumetra-cli vpn` through the real
// far side: its VPN service grants the channel with the address of its own OpenVPN
// server, the client writes the profile and credentials files, starts the real
// OpenVPN client and prints the link state from the client's management port; the
// far side's gateway state report is answered with the LAN switch-on, and SIGINT
// switches the channel off and ends the OpenVPN client. Refusals print the view's
// texts. Every message the client publishes is checked byte for byte. Throughout,
// processes the client did not start survive it, whatever their names.

#include "OpenBed.h"

#include "endpoint/VpnClientRecord.h"
#include "support/NamedProcess.h"
#include "support/OpenVpnStandIn.h"
#include "support/ScopedUmask.h"
#include "support/TempDir.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <gtest/gtest.h>

#include <signal.h>

#include <string>
#include <vector>

namespace {

const char kServerTopic[] = "/<pc>/lumetraToServer q2 ";
const char kChannelRequest[] = R"({"gwSn":"GW-E2E-01","cmdId":97,"pcId":"<pc>"})";

TEST(VpnChannel, LinkComesUpThroughTheFarSidesServerAndSigintSwitchesItOff)
{
    OpenBed bed;
    ASSERT_TRUE(bed.Start(true)) << bed.Error().toStdString();
    const QString server = bed.VpnServer();
    if (!server.endsWith(" running")) {
        GTEST_SKIP() << "the far side runs no OpenVPN server here: " << server.toStdString();
    }
    const std::string port = server.section(':', 1).section(' ', 0, 0).toStdString();
    TempDir others;
    NamedProcess bystander(others.Path(), "openvpn-bystander");
    ASSERT_TRUE(bystander.IsUp());
    {
        // The client inherits the mask: what it writes must come out private by itself.
        const ScopedUmask wideOpen(0);
        bed.Vpn();
    }
    bed.WaitForLine("link: up", 60000);
    const QString working = bed.Home() + "/lumetra/";
    ASSERT_TRUE(bed.Out().split('\n').contains("link: up"))
        << bed.Out().toStdString() << bed.Err().toStdString() << "client log:\n"
        << TempDir::Read(working + "openvpn-trace.log").toStdString();

    // The far side granted the channel with its server's address and the PC as user.
    EXPECT_TRUE(bed.Farside().Output().contains(QString::fromStdString(
        R"({"cmdId":100,"gwSn":"GW-E2E-01","vpnserverIp":"127.0.0.1","busiCode":0,"pcId":")" + bed.PcId() +
        R"(","vpnport":)" + port)));
    EXPECT_TRUE(TempDir::Read(working + "zelqnet_client.ovpn")
                    .contains(("\nremote 127.0.0.1 " + port + "\n\n").c_str()));
    EXPECT_EQ(TempDir::Read(working + "zelq_clientpass0").toStdString(), bed.PcId() + "\n730158");
    // The folder the far side made for its ca.crt (0755) is closed to others, and the
    // files that tell the client what to run are the owner's alone.
    const std::string folder = bed.Home().toStdString() + "/lumetra";
    EXPECT_EQ(ScopedUmask::ModeOf(folder), 0700);
    EXPECT_EQ(ScopedUmask::ModeOf(folder + "/zelqnet_client.ovpn"), 0600);
    EXPECT_EQ(ScopedUmask::ModeOf(folder + "/zelq_clientpass0"), 0600);
    EXPECT_EQ(bed.VpnClients().size(), 1u);
    // The record names the client itself.
    const std::optional<VpnClientRecord> record =
        VpnClientRecord::Load((working + "openvpn.pid").toStdString());
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(std::vector<int64_t>{record->pid}, bed.VpnClients());
    EXPECT_EQ(ScopedUmask::ModeOf(folder + "/openvpn.pid"), 0600);

    // Another party on the broker forges channel grants while the channel is up:
    // lines and options in the server address or user name, a gateway this PC never
    // asked about, an over-long address. Nothing is written, nothing (re)started.
    const QByteArray profile = TempDir::Read(working + "zelqnet_client.ovpn");
    const QByteArray credentials = TempDir::Read(working + "zelq_clientpass0");
    const std::vector<int64_t> clients = bed.VpnClients();
    const std::string grant =
        R"({"cmdId":100,"gwSn":"GW-E2E-01","busiCode":0,"isSwitchOn":1,"vpnport":1194,)";
    const std::string forged[] = {
        grant + R"("vpnserverIp":"127.0.0.1
script-security 2
up /bin/sh","userName":"u"})",
        grant + R"("vpnserverIp":"127.0.0.1","userName":"u
writepid /tmp/lumetra-e2e-forged.pid"})",
        R"({"cmdId":100,"gwSn":"GW-NEVER-ASKED","busiCode":0,"isSwitchOn":1,"vpnserverIp":"127.0.0.1",)"
        R"("vpnport":1194,"userName":"u"})",
        grant + R"("vpnserverIp":")" + std::string(300, 'v') + R"(","userName":"u"})",
    };
    for (const std::string& message : forged)
        ASSERT_TRUE(bed.Peer().Publish("/" + bed.PcId() + "/lumetraToPC", message, 1));
    EXPECT_TRUE(bed.WaitForErrorLines("dropped channel reply (cmdId 100)", int(std::size(forged))))
        << bed.Err().toStdString();
    EXPECT_EQ(TempDir::Read(working + "zelqnet_client.ovpn"), profile);
    EXPECT_EQ(TempDir::Read(working + "zelq_clientpass0"), credentials);
    EXPECT_EQ(bed.VpnClients(), clients);
    EXPECT_FALSE(QFile::exists("/tmp/lumetra-e2e-forged.pid"));
    // The link stayed up: no report after the last "link: up".
    EXPECT_FALSE(bed.Out().mid(bed.Out().lastIndexOf("link: up")).contains("link: down"))
        << bed.Out().toStdString();
    // Its gateway state report, which the client answered with the LAN switch-on.
    EXPECT_TRUE(bed.Farside().WaitForOutput(
        R"({"cmdId":98,"flag":1,"gwSn":"GW-E2E-01","lanIp":"10.77.0.1","csq":"31","lanMask":"255.255.0.0"})"));
    EXPECT_TRUE(bed.Farside().WaitForOutput("LAN 10.77.0.1/255.255.0.0 switched on"));

    EXPECT_EQ(bed.Interrupt(), 0) << bed.Err().toStdString();
    EXPECT_TRUE(bed.VpnClients().empty());
    EXPECT_FALSE(QFileInfo::exists(working + "openvpn.pid"));
    EXPECT_TRUE(bystander.IsRunning());
    EXPECT_EQ(bed.Wire(3),
              (std::vector<std::string>{
                  kServerTopic + std::string(kChannelRequest),
                  kServerTopic + std::string(R"({"gwSn":"GW-E2E-01","cmdId":99,"lanIp":"10.77.0.1",)"
                                             R"("lanMask":"255.255.0.0","pcId":"<pc>","switchOn":1})"),
                  kServerTopic + (R"({"gwSn":"GW-E2E-01","vpnPort":)" + port +
                                  R"(,"switchOn":0,"pcId":"<pc>","cmdId":99})")}));
    EXPECT_TRUE(bed.Farside().WaitForOutput("switched off (vpnPort " + QString::fromStdString(port) + ")"));
}

// The client program here is the OpenVPN stand-in, so this runs without a VPN
// server: it is about which processes the client ends. Three runs: one crashes and
// leaves its client; the next ends that leftover before it starts its own, and ends
// its own when it exits because the far side ended the channel; the last one ends
// its client on SIGTERM. A bystander with "openvpn" in its name lives through all.
TEST(VpnChannel, OnlyTheClientsOfTheProgramEndAtStartCloseAndExitAndAfterACrash)
{
    OpenBed bed;
    ASSERT_TRUE(bed.Start()) << bed.Error().toStdString();
    TempDir others;
    NamedProcess bystander(others.Path(), "openvpn-bystander");
    ASSERT_TRUE(bystander.IsUp());
    OpenVpnStandIn standIn(others.MakeDir("bin"));
    const QString recordPath = bed.Home() + "/lumetra/openvpn.pid";
    auto startClient = [&] {
        standIn.ForgetRecord();
        bed.Vpn();
        const QStringList record = standIn.WaitForRecord(40000);
        EXPECT_FALSE(record.isEmpty()) << bed.Out().toStdString() << bed.Err().toStdString();
        return record.isEmpty() ? QString() : record.front();
    };

    // The channel is granted and the client started and recorded; then the program
    // crashes.
    const QString crashed = startClient();
    ASSERT_FALSE(crashed.isEmpty());
    auto recorded = [&] {
        const std::optional<VpnClientRecord> record = VpnClientRecord::Load(recordPath.toStdString());
        return record.has_value() ? record->pid : int64_t(0);
    };
    QDeadlineTimer deadline(10000);
    while (recorded() != crashed.toLongLong() && !deadline.hasExpired())
        QThread::msleep(2);
    ASSERT_EQ(recorded(), crashed.toLongLong());
    bed.Crash();
    EXPECT_EQ(standIn.Running(), std::vector<int64_t>{crashed.toLongLong()});
    EXPECT_EQ(recorded(), crashed.toLongLong());

    // The next run ends the leftover, politely, before it starts its own client...
    const QString second = startClient();
    ASSERT_FALSE(second.isEmpty());
    EXPECT_EQ(standIn.Running(), std::vector<int64_t>{second.toLongLong()});
    EXPECT_EQ(standIn.Terms(), QStringList{"TERM " + crashed});
    EXPECT_TRUE(bystander.IsRunning());
    // ... and ends it when it exits because the far side ended the channel.
    ASSERT_TRUE(bed.Peer().Publish(
        "/" + bed.PcId() + "/lumetraToPC",
        R"({"cmdId":100,"gwSn":"GW-E2E-01","busiCode":0,"pcId":")" + bed.PcId() + R"(","isSwitchOn":0})", 2));
    EXPECT_EQ(bed.WaitForExit(), 1) << bed.Err().toStdString();
    EXPECT_TRUE(standIn.Running().empty());
    EXPECT_EQ(standIn.Terms(), (QStringList{"TERM " + crashed, "TERM " + second}));
    EXPECT_FALSE(QFileInfo::exists(recordPath));

    // SIGTERM: the client goes with the program.
    const QString third = startClient();
    ASSERT_FALSE(third.isEmpty());
    EXPECT_EQ(bed.Interrupt(SIGTERM), 0) << bed.Err().toStdString();
    EXPECT_TRUE(standIn.Running().empty());
    EXPECT_EQ(standIn.Terms(), (QStringList{"TERM " + crashed, "TERM " + second, "TERM " + third}));
    EXPECT_FALSE(QFileInfo::exists(recordPath));
    EXPECT_TRUE(bystander.IsRunning());
}

TEST(VpnChannel, ChannelInUseAndOfflineGatewayPrintTheTextAndFail)
{
    OpenBed bed;
    ASSERT_TRUE(bed.Start()) << bed.Error().toStdString();
    // Another PC holds the gateway's channel.
    const std::string other = "11111111111111111111";
    ASSERT_TRUE(bed.Peer().Publish("/" + other + "/lumetraToServer",
                                   R"({"gwSn":"GW-E2E-01","cmdId":97,"pcId":")" + other + R"("})", 2));
    ASSERT_TRUE(bed.Farside().WaitForOutput(
        QString::fromStdString("sent /" + other + R"(/lumetraToPC {"cmdId":100,)")));

    bed.Vpn();
    EXPECT_NE(bed.WaitForExit(40000), 0);
    EXPECT_TRUE(bed.Err().split('\n').contains(QString::fromUtf8("网关通道已经在使用中！")))
        << bed.Err().toStdString();
    EXPECT_FALSE(bed.Out().contains("link:")) << bed.Out().toStdString();

    bed.Vpn(OpenBed::kOfflineGateway);
    EXPECT_NE(bed.WaitForExit(40000), 0);
    EXPECT_TRUE(bed.Err().split('\n').contains(QString::fromUtf8("设备不在线"))) << bed.Err().toStdString();
    // Only the channel request of the first run went out.
    EXPECT_EQ(bed.Wire(1), std::vector<std::string>{kServerTopic + std::string(kChannelRequest)});
}

} // namespace
