// The parts of the tunnels that need no broker and no connection. The open and close
// texts are the views' and controller's tests'.

#include "app/Installation.h"
#include "cloud/CNodeDevice.h"
#include "cloud/CNodeGateway.h"
#include "support/PlatconfBuilder.h"
#include "support/RecordingPublisher.h"
#include "support/TempDir.h"
#include "tunnel/CComDataTunnel.h"
#include "tunnel/CNetPfLocalDataTunnel.h"
#include "tunnel/CVPNDataTunnel.h"
#include "tunnel/TunnelFactory.h"
#include "tunnel/TunnelJson.h"
#include "tunnel/TunnelTable.h"

#include <gtest/gtest.h>

#include <cjson/cJSON.h>

#include <string>
#include <vector>

namespace {

CNodeDevice MakeDevice(const char* sn, int tunType)
{
    CNodeDevice device;
    device.deviceSn = QString::fromUtf8(sn);
    device.tunType = tunType;
    return device;
}

TEST(PortTransferFrame, HeaderCarriesLittleEndianLengthAndNullsWriteNothing)
{
    const std::string payload(300, 'x');
    std::vector<unsigned char> frame(kPortTransferFrameHeader + payload.size(), 0);
    CDataTunnel::BuildPortTransferFrame(frame.data(), payload.data(), payload.size());
    EXPECT_EQ(std::string(frame.begin(), frame.end()), std::string("zelq\x2C\x01", 6) + payload);

    std::vector<unsigned char> untouched(10, 0);
    CDataTunnel::BuildPortTransferFrame(untouched.data(), nullptr, 4);
    CDataTunnel::BuildPortTransferFrame(nullptr, "abcd", 4);
    EXPECT_EQ(untouched, std::vector<unsigned char>(10, 0));

    EXPECT_EQ(CDataTunnel::PortTransferFrame("{}"), std::string("zelq\x02\x00{}", 8));
    EXPECT_TRUE(CDataTunnel::PortTransferFrame(std::string(70000, 'x')).empty());
}

TEST(TunnelTable, CreatesByTunnelTypeAndKeepsOneTunnelPerRecord)
{
    CNodeGateway gateway;
    struct Case
    {
        int tunType;
        bool portForward;
        bool serial;
    };
    for (const Case& c :
         {Case{1, true, false}, Case{2, false, true}, Case{3, false, false}, Case{0, false, false}}) {
        TunnelTable table;
        CNodeDevice device = MakeDevice("D", kTunTypeLocalPortForward);
        CDataTunnel* earlier = table.CreateDeviceTunnel(TunnelServices{}, nullptr, &gateway, &device);
        ASSERT_NE(earlier, nullptr);
        // A later creation takes the earlier tunnel's place, also with none.
        device.tunType = c.tunType;
        CDataTunnel* tunnel = table.CreateDeviceTunnel(TunnelServices{}, nullptr, &gateway, &device);
        EXPECT_EQ(table.DeviceTunnel(&device), tunnel) << c.tunType;
        EXPECT_EQ(dynamic_cast<CNetPfLocalDataTunnel*>(tunnel) != nullptr, c.portForward) << c.tunType;
        EXPECT_EQ(dynamic_cast<CComDataTunnel*>(tunnel) != nullptr, c.serial) << c.tunType;
        if (tunnel != nullptr) {
            EXPECT_EQ(tunnel->GetGateway(), &gateway);
            EXPECT_EQ(tunnel->GetDevice(), &device);
        }
    }

    // Without a gateway or a device nothing is made and the table stays as it was.
    TunnelTable table;
    CNodeDevice device = MakeDevice("D", 2);
    CDataTunnel* kept = table.CreateDeviceTunnel(TunnelServices{}, nullptr, &gateway, &device);
    EXPECT_EQ(table.CreateDeviceTunnel(TunnelServices{}, nullptr, nullptr, &device), nullptr);
    EXPECT_EQ(table.CreateDeviceTunnel(TunnelServices{}, nullptr, &gateway, nullptr), nullptr);
    EXPECT_EQ(table.DeviceTunnel(&device), kept);
    EXPECT_EQ(CreateTunnelForDevice(TunnelServices{}, nullptr, nullptr, &device), nullptr);

    // Records are told apart by identity: a second record with the same serials (a
    // later gateway list) has a tunnel of its own, and so has a second gateway record.
    CNodeDevice twin = MakeDevice("D", 2);
    CDataTunnel* twinTunnel = table.CreateDeviceTunnel(TunnelServices{}, nullptr, &gateway, &twin);
    ASSERT_NE(twinTunnel, nullptr);
    EXPECT_NE(twinTunnel, kept);
    EXPECT_EQ(table.DeviceTunnel(&device), kept);
    gateway.gwSn = "GW1";
    CNodeGateway sameSerial;
    sameSerial.gwSn = "GW1";
    EXPECT_EQ(table.ChannelTunnel(&gateway), nullptr);
    CVPNDataTunnel* channel = table.EnsureChannelTunnel(TunnelServices{}, &gateway);
    ASSERT_NE(channel, nullptr);
    EXPECT_EQ(channel->GetGateway(), &gateway);
    EXPECT_EQ(table.EnsureChannelTunnel(TunnelServices{}, &gateway), channel); // made once
    EXPECT_EQ(table.ChannelTunnel(&gateway), channel);
    EXPECT_EQ(table.ChannelTunnel(&sameSerial), nullptr);
    EXPECT_NE(table.EnsureChannelTunnel(TunnelServices{}, &sameSerial), channel);

    table.Clear();
    EXPECT_EQ(table.DeviceTunnel(&device), nullptr);
    EXPECT_EQ(table.DeviceTunnel(&twin), nullptr);
    EXPECT_EQ(table.ChannelTunnel(&gateway), nullptr);
}

TEST(TunnelMatch, DeviceTunnelsNeedBothSerialsTheChannelOnlyTheGateway)
{
    CNodeGateway gateway;
    gateway.gwSn = "GW1";
    CNodeDevice device = MakeDevice("DEV1", 2);
    CComDataTunnel serial(TunnelServices{}, nullptr, &gateway, &device);
    CNetPfLocalDataTunnel portForward(TunnelServices{}, nullptr, &gateway, &device);
    CVPNDataTunnel channel(TunnelServices{}, &gateway);
    struct Case
    {
        const char* gw;
        const char* dev;
        bool device;
        bool channel;
    };
    for (const Case& c : {Case{"GW1", "DEV1", true, true}, Case{"GW1", nullptr, false, true},
                          Case{"GW1", "DEV2", false, true}, Case{"GW2", "DEV1", false, false},
                          Case{nullptr, "DEV1", false, false}, Case{"gw1", "DEV1", false, false}}) {
        const std::string label = std::string(c.gw ? c.gw : "null") + "/" + (c.dev ? c.dev : "null");
        EXPECT_EQ(serial.Match(c.gw, c.dev), c.device) << label;
        EXPECT_EQ(portForward.Match(c.gw, c.dev), c.device) << label;
        EXPECT_EQ(channel.Match(c.gw, c.dev), c.channel) << label;
    }
    EXPECT_FALSE(CComDataTunnel(TunnelServices{}, nullptr, nullptr, nullptr).Match("", ""));
}

TEST(SerialTunnel, PortNamesSwitchToDevicePathFormAtTenAndRegistrationText)
{
    EXPECT_EQ(CComDataTunnel::ComPortName(9), QStringLiteral("COM9"));
    EXPECT_EQ(CComDataTunnel::ComPortName(10), QStringLiteral("\\\\.\\COM10"));
    EXPECT_EQ(CComDataTunnel::RegistrationText("P", "G", "D", 1),
              R"({"st":1,"pc_id":"P","gw_sn":"G","dev_sn":"D","reconnect":1})");
}

TEST(PortForwardTunnel, RelayAddressAndListenerSide)
{
    TempDir dir;
    Installation installation(dir.Path());
    CNodeGateway gateway;
    CNodeDevice device = MakeDevice("D", 1);
    device.protocol = 13;
    CNetPfLocalDataTunnel portForward(TunnelServices{nullptr, &installation}, nullptr, &gateway, &device);
    struct Case
    {
        std::vector<std::pair<std::string, std::string>> entries;
        std::string host;
        uint16_t port;
    };
    for (const Case& c : std::vector<Case>{
             {{{"port_transfer_host", "10.0.0.1"}}, "10.0.0.1", 15000},
             {{{"port_transfer_host", "10.0.0.1"}, {"relay_host", "10.0.0.2"}, {"relay_port", "16001"}},
              "10.0.0.2",
              16001},
             {{{"relay_host", ""}, {"port_transfer_host", "h"}, {"relay_port", "x"}}, "h", 15000}}) {
        PlatconfBuilder builder;
        for (const auto& [name, text] : c.entries)
            builder.Text(name, text);
        ASSERT_TRUE(builder.WriteTo(dir.FilePath("platconf")));
        installation.LoadCustomResourcesFrom(dir.FilePath("platconf"));
        EXPECT_EQ(portForward.RelayHost(), c.host);
        EXPECT_EQ(portForward.RelayPort(), c.port);
    }

    CComDataTunnel serial(TunnelServices{}, nullptr, &gateway, &device);
    // The listener side of the port-forward tunnel chooses the port by the device type.
    const LocalListenerOwner* owner = &portForward;
    EXPECT_EQ(owner->ListenerDeviceType(), 13);
}

TEST(TunnelJson, IntegersAndBooleansOnly)
{
    cJSON* message = cJSON_Parse(R"({"n":2,"t":true,"f":false,"s":"1","o":{}})");
    struct Case
    {
        const char* name;
        bool found;
        int value;
    };
    for (const Case& c : {Case{"n", true, 2}, Case{"N", true, 2}, Case{"t", true, 1}, Case{"f", true, 0},
                          Case{"s", false, -7}, Case{"o", false, -7}, Case{"absent", false, -7}}) {
        int value = -7;
        EXPECT_EQ(TunnelJsonInt(message, c.name, &value), c.found) << c.name;
        EXPECT_EQ(value, c.value) << c.name;
    }
    EXPECT_TRUE(TunnelJsonHas(message, "o"));
    EXPECT_FALSE(TunnelJsonHas(nullptr, "o"));
    cJSON_Delete(message);
}

// The releases of a stop with a usable serial are pinned byte for byte by the
// broker tests; a serial that would address other gateways' topics gives no gateway
// message, and the binder request carries it only as a JSON text.
TEST(TunnelStop, ReleasesGoOutOnlyOnTopicsTheGatewaySerialCanName)
{
    const std::string pc = "17250000001234567890";
    TempDir dir;
    Installation installation(dir.Path());
    installation.SetPcId(pc.c_str());
    RecordingPublisher publisher;
    const TunnelServices services{&publisher, &installation};
    CNodeGateway gateway;
    gateway.gwSn = "GW/+";
    CNodeDevice serialDevice = MakeDevice("DEV1", kTunTypeSerial);
    CNodeDevice portDevice = MakeDevice("DEV1", kTunTypeLocalPortForward);
    CComDataTunnel serial(services, nullptr, &gateway, &serialDevice);
    CNetPfLocalDataTunnel portForward(services, nullptr, &gateway, &portDevice);
    serial.Stop();
    portForward.Stop();
    using M = RecordingPublisher::Message;
    const std::string release =
        R"({"cmd_id":3002,"link_type":1,"pc_id":")" + pc + R"(","gw_sn":"GW/+","dev_sn":"DEV1"})";
    EXPECT_EQ(publisher.Take(), (std::vector<M>{M{"/sys/varnex_binder/sub", release, 0}}));
}

} // namespace
