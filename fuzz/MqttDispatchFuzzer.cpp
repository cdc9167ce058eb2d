// Inbound MQTT JSON on the PC's topic: any bytes are one message, parsed by the
// dispatcher and handed to a view that works as the gateway detail view does with
// its tunnels: tunnel traffic goes through the routing to the listed tunnels (those
// of the demo inventory: on gateway LG2024000101 a serial tunnel for DEV-5002 and a
// port-forward tunnel for DEV-5001, on LG2024000103 a port-forward tunnel for
// DEV-5021, and the maintenance channel of each), a channel reply and a status
// report to the channel of their gateway (a reply writes the OpenVPN client's
// files), and an accepted reply back to its tunnel. There is no broker: the tunnels'
// publishes go nowhere. No tunnel is started, so nothing opens ports or pairs;
// instead every device tunnel waits for each of its replies at the start of every
// input, so any reply reaches its handling and none depends on earlier inputs.
//
// Whatever the message holds, the OpenVPN client's files keep their form: the
// profile has the lines of the profile written for a plain address, and the
// credentials file is one user name line and the password line.

#include "FuzzCheck.h"
#include "FuzzFolder.h"
#include "app/Installation.h"
#include "cloud/CNodeDevice.h"
#include "cloud/CNodeGateway.h"
#include "endpoint/VirtualComPairs.h"
#include "endpoint/VpnClientControl.h"
#include "mqtt-c/TunnelRouting.h"
#include "mqtt-c/VpnInfoRecord.h"
#include "mqtt-c/mqtt_dispatch.h"
#include "platform/MessageBox.h"
#include "platform/MessageBoxHandler.h"
#include "platform/MessageWindow.h"
#include "platform/WindowMessages.h"
#include "tunnel/CComDataTunnel.h"
#include "tunnel/CNetPfLocalDataTunnel.h"
#include "tunnel/CVPNDataTunnel.h"
#include "tunnel/PortForwardListener.h"
#include "tunnel/TunnelHost.h"
#include "tunnel/TunnelObserver.h"

#include <cjson/cJSON.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

namespace {

const char kPcId[] = "17250000001234567890";
const char kTopic[] = "/17250000001234567890/lumetraToPC";

// Answers every message box with its default and shows nothing.
class SilentBoxes : public platform::MessageBoxHandler
{
public:
    int Show(platform::MessageWindow*, const QString&, const QString&, unsigned style) override
    {
        return (style & platform::kMbTypeMask) == platform::kMbOk ? platform::kIdOk : platform::kIdNo;
    }
};

// Takes what the port-forward tunnel hands to the local listener and does nothing.
class QuietListener : public PortForwardListener
{
public:
    JsonPtr SetUp(LocalListenerOwner&) override { return nullptr; }
    void Close(LocalListenerOwner&) override {}
    std::string Where(const LocalListenerOwner&) const override { return std::string(); }
    void HoldReading(LocalListenerOwner&, bool) override {}
    void OnMatched(LocalListenerOwner&, const cJSON*) override {}
    void OnAck(LocalListenerOwner&, const cJSON*) override {}
    void OnData(LocalListenerOwner&, const cJSON*) override {}
    void OnNotice(LocalListenerOwner&, const cJSON*) override {}
};

class ViewWindow : public platform::MessageWindow, public TunnelObserver
{
public:
    platform::LResult WindowProc(platform::MsgCode msg, platform::WParam wParam,
                                 platform::LParam lParam) override
    {
        switch (msg) {
        case WM_TUNNEL_MESSAGE: {
            TunnelInbound kind;
            return TunnelInboundFromRouteCode(lParam, &kind)
                       ? RouteTunnelMessage(reinterpret_cast<cJSON*>(wParam), kind, listLock_, active)
                       : 0;
        }
        case WM_VPN_CHANNEL_REPLY: {
            const auto* record = reinterpret_cast<const VpnInfoRecord*>(wParam);
            if (CVPNDataTunnel* channel = ChannelOf(record->gwSn))
                channel->OnVpnInfo(record);
            return 0;
        }
        case WM_GATEWAY_STATUS:
            if (CVPNDataTunnel* channel = ChannelOf(reinterpret_cast<const CNodeGateway*>(wParam)->gwSn))
                channel->OnGatewayStatus();
            return 0;
        default:
            return 0;
        }
    }

    // The listed tunnels stay listed; an accepted reply goes back to its tunnel.
    void OnTunnelOpened(CDataTunnel&) override {}
    void OnTunnelClosed(CDataTunnel&) override {}
    void OnTunnelReply(CDataTunnel& tunnel, const cJSON* reply) override
    {
        const cJSON* flag = cJSON_GetObjectItem(reply, "flag");
        if (cJSON_IsNumber(flag) && flag->valueint == 1)
            tunnel.OnOpenAccepted();
    }
    platform::MessageWindow* MessageBoxOwner() override { return this; }

    std::vector<CDataTunnel*> active;
    std::vector<CVPNDataTunnel*> channels;

private:
    CVPNDataTunnel* ChannelOf(const std::string& gwSn) const
    {
        for (CVPNDataTunnel* channel : channels) {
            if (channel->Match(gwSn.c_str(), nullptr))
                return channel;
        }
        return nullptr;
    }

    std::recursive_mutex listLock_;
};

CNodeGateway* MakeGateway(const char* sn, const char* lanIp)
{
    auto* gateway = new CNodeGateway;
    gateway->gwSn = sn;
    gateway->lanIp = lanIp;
    gateway->lanMask = "255.255.255.0";
    return gateway;
}

CNodeDevice* MakeDevice(const char* sn, int tunType)
{
    auto* device = new CNodeDevice;
    device->deviceSn = QString::fromUtf8(sn);
    device->tunType = tunType;
    device->com = "COM1";
    device->baud = 9600;
    device->databit = 8;
    device->stopbit = 1;
    device->ip = "127.0.0.1";
    device->port = 15020;
    device->protocol = 2;
    return device;
}

// A device tunnel that can be made to wait for every reply of an open.
template <typename Tunnel> class WaitingTunnel : public Tunnel
{
public:
    using Tunnel::Tunnel;
    void WaitForEveryReply()
    {
        ReplyExpectations& replies = this->Replies();
        replies.Clear();
        for (ReplyExpectations::Reply reply :
             {ReplyExpectations::kBindAnswer, ReplyExpectations::kParameterRequest,
              ReplyExpectations::kRegistrationResult, ReplyExpectations::kResult,
              ReplyExpectations::kFarEndClosed})
            replies.Expect(reply);
    }
};

// The tunnels' host: the listener is the quiet one, no local connection is ever
// found.
class BedHost : public TunnelHost
{
public:
    explicit BedHost(PortForwardListener* listener) : listener_(listener) {}
    PortForwardListener* PortListener() override { return listener_; }
    CSocket* FindLocalConnection(const LocalListenerOwner*) override { return nullptr; }
    VirtualComPairs& ComPairs() override { return comPairs_; }

private:
    PortForwardListener* listener_;
    VirtualComPairs comPairs_;
};

struct Bed
{
    // The program folder's installation (LUMETRA_HOME is set first): no custom
    // resources, the PC identifier of the bed.
    Installation installation;
    SilentBoxes boxes;
    QuietListener listener;
    BedHost host{&listener};
    ViewWindow view;
    std::vector<WaitingTunnel<CComDataTunnel>*> serials;
    std::vector<WaitingTunnel<CNetPfLocalDataTunnel>*> portForwards;
    size_t profileLines = 0;
};

Bed* g_bed = nullptr;

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

size_t Lines(const std::string& text)
{
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    setenv("LUMETRA_HOME", FuzzFolder::Path().c_str(), 1);

    g_bed = new Bed;
    Bed& bed = *g_bed;
    bed.installation.SetPcId(kPcId);
    const TunnelServices services{nullptr, &bed.installation, &bed.installation.Trace(), &bed.host};
    platform::SetMessageBoxHandler(&bed.boxes);
    // Records and tunnels live for the whole run.
    CNodeGateway* workshop = MakeGateway("LG2024000101", "192.168.10.1");
    CNodeGateway* pumps = MakeGateway("LG2024000103", "192.168.1.1");
    bed.view.channels = {new CVPNDataTunnel(services, workshop), new CVPNDataTunnel(services, pumps)};
    bed.serials = {new WaitingTunnel<CComDataTunnel>(services, &bed.view, workshop,
                                                     MakeDevice("DEV-5002", kTunTypeSerial))};
    bed.portForwards = {new WaitingTunnel<CNetPfLocalDataTunnel>(
                            services, &bed.view, workshop, MakeDevice("DEV-5001", kTunTypeLocalPortForward)),
                        new WaitingTunnel<CNetPfLocalDataTunnel>(
                            services, &bed.view, pumps, MakeDevice("DEV-5021", kTunTypeLocalPortForward))};
    bed.view.active = {bed.serials[0], bed.portForwards[0], bed.portForwards[1], bed.view.channels[0],
                       bed.view.channels[1]};

    // The profile's form: the one written for a plain address and port.
    WriteProfile(&bed.installation, "203.0.113.5", "1194");
    bed.profileLines = Lines(ReadFile(VpnWorkingFolder() + kVpnProfileFile));
    FUZZ_CHECK(bed.profileLines > 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > static_cast<size_t>(0x7fffffff))
        return 0;
    const std::string profilePath = VpnWorkingFolder() + kVpnProfileFile;
    const std::string credentialsPath = VpnWorkingFolder() + kVpnCredentialsFile;
    std::remove(profilePath.c_str());
    std::remove(credentialsPath.c_str());
    for (auto* tunnel : g_bed->serials)
        tunnel->WaitForEveryReply();
    for (auto* tunnel : g_bed->portForwards)
        tunnel->WaitForEveryReply();

    mqtt_dispatch(&g_bed->view, kTopic, reinterpret_cast<const char*>(data), static_cast<int>(size));

    const std::string profile = ReadFile(profilePath);
    if (!profile.empty())
        FUZZ_CHECK(Lines(profile) == g_bed->profileLines);
    const std::string credentials = ReadFile(credentialsPath);
    if (!credentials.empty())
        FUZZ_CHECK(Lines(credentials) == 1 && credentials.substr(credentials.find('\n') + 1) == kVpnPassword);
    return 0;
}
