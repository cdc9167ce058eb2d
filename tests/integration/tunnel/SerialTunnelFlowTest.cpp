// A serial tunnel through real parts: a virtual COM pair made by the pair tool, the
// broker with a far-side client answering as binder and gateway, and a TCP server
// playing the port-transfer server. Bytes written to the user's COM end reach the
// server unchanged and the server's bytes, like device data in cmdId 2980, come out
// of the user's end.

#include "TcpPeer.h"
#include "TunnelTestBed.h"
#include "TunnelViewWindow.h"

#include "cloud/CNodeDevice.h"
#include "cloud/CNodeGateway.h"
#include "endpoint/VirtualComPairs.h"
#include "endpoint/VpnClientControl.h"
#include "mqtt-c/mosquitto_wrapper.h"
#include "platform/ComPortNames.h"
#include "platform/WindowMessages.h"
#include "support/PumpUntil.h"
#include "tunnel/CComDataTunnel.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace {

// The device behind a link, or empty.
std::string LinkTarget(const std::string& path)
{
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

// Whether this process holds `device` open.
bool ProcessHolds(const std::string& device)
{
    DIR* fds = opendir("/proc/self/fd");
    bool found = false;
    while (dirent* entry = fds != nullptr ? readdir(fds) : nullptr) {
        char target[PATH_MAX] = {};
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        if (readlink(link.c_str(), target, sizeof(target) - 1) > 0 && device == target) {
            found = true;
        }
    }
    if (fds != nullptr) {
        closedir(fds);
    }
    return found;
}

// The user's application on its COM port: raw, non-blocking, bounded reads.
class UserEnd
{
public:
    explicit UserEnd(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
        termios settings{};
        if (fd_ >= 0 && tcgetattr(fd_, &settings) == 0) {
            cfmakeraw(&settings);
            tcsetattr(fd_, TCSANOW, &settings);
        }
    }
    ~UserEnd()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    bool IsOpen() const { return fd_ >= 0; }
    bool Write(const std::string& bytes)
    {
        return ::write(fd_, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    }
    std::string Read(size_t count)
    {
        std::string got;
        PumpUntil([&] {
            char buffer[256];
            const ssize_t n = ::read(fd_, buffer, sizeof(buffer));
            if (n > 0) {
                got.append(buffer, static_cast<size_t>(n));
            }
            return got.size() >= count;
        });
        return got;
    }

private:
    int fd_ = -1;
};

class SerialTunnelFlow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetVirtualComPairsForTest();
        vcomDir_ = bed_.Home().MakeDir("vcom").toStdString();
        qputenv("LUMETRA_VCOM_DIR", QByteArray::fromStdString(vcomDir_));
        ASSERT_TRUE(QFile::link(LUMETRA_BIN_DIR "/lumetra-vcom", bed_.Home().FilePath("lumetra-vcom")));
        ASSERT_TRUE(bed_.Start());
        mqtt_set_target_window(&view_);
    }

    void TearDown() override
    {
        mqtt_set_target_window(nullptr);
        for (const _virtual_com_pair& pair : VirtualComPairList()) {
            RunCommandCaptured("./lumetra-vcom remove " + std::to_string(pair.number),
                               bed_.Home().Path().toStdString());
        }
        ResetVirtualComPairsForTest();
        qunsetenv("LUMETRA_VCOM_DIR");
    }

    // The far side answers: a message to the PC for this gateway and device.
    void Answer(const std::string& members)
    {
        ASSERT_TRUE(bed_.PublishToPc(R"({"gw_sn":"GW1","dev_sn":"DEV1",)" + members + "}"));
    }

    void ExpectPublished(const std::vector<std::pair<std::string, int>>& expected, const std::string& label)
    {
        const std::vector<MqttTestClient::Message> got = bed_.TakePublished();
        ASSERT_EQ(got.size(), expected.size()) << label;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].topic, expected[i].first) << label;
            const std::string code = std::to_string(expected[i].second);
            EXPECT_NE(got[i].payload.find("d\":" + code + ","), std::string::npos) << label << got[i].payload;
        }
    }

    TunnelTestBed bed_;
    TunnelViewWindow view_;
    std::string vcomDir_;
};

TEST_F(SerialTunnelFlow, BytesTravelBothWaysBetweenComPortAndServer)
{
    TcpPeer server;
    ASSERT_TRUE(server.IsListening());
    bed_.SetResources(
        {{"port_transfer_host", "127.0.0.1"}, {"port_transfer_port", std::to_string(server.Port())}});
    CNodeGateway gateway;
    gateway.gwSn = "GW1";
    CNodeDevice device;
    device.deviceSn = "DEV1";
    device.tunType = 2;
    device.baud = 9600;
    device.databit = 8;
    device.stopbit = 1;
    device.com = "COM1";
    CComDataTunnel tunnel(&view_, &gateway, &device);
    view_.acceptResults = true;

    tunnel.Start();
    ASSERT_NE(tunnel.GetUserHalf(), nullptr) << "no virtual COM pair";
    ASSERT_NE(tunnel.GetProgramHalf(), nullptr);
    EXPECT_EQ(device.localComNumber, tunnel.GetProgramHalf()->com);
    EXPECT_EQ(device.UserComNumber(), tunnel.GetUserHalf()->com);
    ASSERT_EQ(view_.Active(), std::vector<CDataTunnel*>{&tunnel});
    ExpectPublished({{"/sys/varnex_binder/sub", 2983}}, "start");

    Answer(R"("cmdId":2984,"is_bind":0)");
    ExpectPublished({{"/GW1/down", 2996}}, "bind answer");
    Answer(R"("cmdId":2995)");
    ExpectPublished({{"/sys/varnex_binder/sub", 3000}}, "parameter request");
    Answer(R"("cmdId":3001,"st":2,"flag":1)");
    const std::string registration =
        TunnelTestBed::WithPc(R"({"st":1,"pc_id":"$PC","gw_sn":"GW1","dev_sn":"DEV1","reconnect":0})");
    ASSERT_TRUE(
        PumpUntil([&] { return static_cast<size_t>(server.Received().size()) >= registration.size(); }));
    EXPECT_EQ(server.Received().toStdString(), registration);
    server.Clear();

    const std::string programDevice =
        LinkTarget(ResolveComPortName("COM" + std::to_string(tunnel.GetProgramHalf()->com)));
    ASSERT_FALSE(programDevice.empty());
    Answer(R"("cmdId":2993,"flag":1,"msg":"ok")");
    ASSERT_TRUE(PumpUntil([&] { return ProcessHolds(programDevice); })) << "COM port not opened";

    UserEnd user(vcomDir_ + "/COM" + std::to_string(tunnel.GetUserHalf()->com));
    ASSERT_TRUE(user.IsOpen());
    const std::string request("\x01\x03\x00\x00\x00\x04\x44\x09", 8);
    ASSERT_TRUE(user.Write(request));
    ASSERT_TRUE(PumpUntil([&] { return static_cast<size_t>(server.Received().size()) >= request.size(); }));
    EXPECT_EQ(server.Received().toStdString(), request);

    const std::string response("\x01\x03\x08\x00\x0A\x00\x0B\x00\x0C\x00\x0D\xAA\xBB", 13);
    server.Write(QByteArray::fromStdString(response));
    EXPECT_EQ(user.Read(response.size()), response);

    // Device bytes in MQTT: only "payload_len" characters of the Base64 text count.
    Answer(R"("cmdId":2980,"pt_sn":3,"pt_payload":"QUJDREVG","payload_len":4)");
    EXPECT_EQ(user.Read(3), "ABC");

    tunnel.Stop();
    ExpectPublished({{"/GW1/down", 2998}, {"/sys/varnex_binder/sub", 3002}}, "stop");
    EXPECT_TRUE(view_.Active().empty());
    EXPECT_EQ(tunnel.GetUserHalf(), nullptr);
    EXPECT_EQ(tunnel.GetRelayConnection(), nullptr);
    EXPECT_EQ(device.localComNumber, -1);
    EXPECT_TRUE(PumpUntil([&] { return server.PeerClosed(); }));
    EXPECT_FALSE(ProcessHolds(programDevice));
}

} // namespace
