// lumetra-farside's fault switches, re-attaching connections and memory bound, with a
// real broker; an MQTT client and TCP connections play the PC.

#include "support/FarsideProcess.h"
#include "support/FreePort.h"
#include "support/MosquittoBroker.h"
#include "support/MqttTestClient.h"
#include "support/PlatconfBuilder.h"
#include "support/ResourceUse.h"
#include "support/TcpLink.h"
#include "support/TempDir.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const std::string kPc = "12345678901234567890";

const char kInventory[] = R"({"accounts": [{"userName": "u", "password": "p", "orgId": 1, "newRoleId": 1,
  "accountsId": 1, "gateways": [
  {"gwSn": "GW-1", "isOnline": true, "devices": [
    {"deviceSn": "SER-ECHO", "tunType": 2, "simulation": {"kind": "echo"}},
    {"deviceSn": "SER-QUIET", "tunType": 2, "simulation": {"kind": "echo"}, "fault": {"silent": true}},
    {"deviceSn": "PF-ECHO", "tunType": 1, "ip": "127.0.0.1", "port": 0, "simulation": {"kind": "echo"}}]}]}]})";

std::string Registration(const std::string& dev, int reconnect)
{
    return R"({"st":1,"pc_id":")" + kPc + R"(","gw_sn":"GW-1","dev_sn":")" + dev + R"(","reconnect":)" +
           std::to_string(reconnect) + "}";
}

std::string Bind(const std::string& dev)
{
    return R"({"cmd_id":2983,"gw_sn":"GW-1","dev_sn":")" + dev + R"(","pc_id":")" + kPc + "\"}";
}

std::string Answer(int code, const std::string& dev, const std::string& rest)
{
    return "{\"cmdId\":" + std::to_string(code) + ",\"gw_sn\":\"GW-1\",\"dev_sn\":\"" + dev + "\"" + rest +
           "}";
}

class FarsideFaultsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(broker.Start()) << broker.Error().toStdString();
        portTransferPort = FreePort::Pick();
        relayPort = FreePort::Pick();
        const QString platconf = dir.FilePath("platconf");
        ASSERT_TRUE(PlatconfBuilder()
                        .WebService(FreePort::Pick())
                        .Broker(broker)
                        .TunnelServers(portTransferPort, relayPort)
                        .WriteTo(platconf));
        const int controlPort = FreePort::Pick();
        ASSERT_TRUE(
            farside.Start(platconf, dir.Write("inventory.json", kInventory),
                          {"--no-vpn-server", "--keepalive", "0", "--control", QString::number(controlPort)}))
            << farside.Error().toStdString();
        ASSERT_TRUE(farside.WaitForOutput("broker connected")) << farside.Output().toStdString();
        ASSERT_TRUE(farside.Output().contains("control channel listening on 127.0.0.1:" +
                                              QString::number(controlPort)));
        ASSERT_TRUE(control.Open(controlPort));
        ASSERT_TRUE(mqtt.Connect(broker.Host(), broker.Port(), broker.User(), broker.Password()));
        ASSERT_TRUE(mqtt.Subscribe("/" + kPc + "/lumetraToPC", 2));
    }

    // One control command and its one-line answer.
    std::string Command(const std::string& line)
    {
        if (!control.Send(line + "\n"))
            return "(not sent)";
        while (!control.canReadLine() && control.waitForReadyRead(20000)) {
        }
        return control.readLine().trimmed().toStdString();
    }

    // The next message to the PC, which must equal `expected`.
    ::testing::AssertionResult Next(const std::string& expected)
    {
        if (!mqtt.WaitForMessages(++seen))
            return ::testing::AssertionFailure() << "no message; expected " << expected;
        const std::string payload = mqtt.Messages()[seen - 1].payload;
        if (payload == expected)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "got " << payload << "\nwant " << expected;
    }

    bool Logged(const QString& text, int times = 1)
    {
        for (int i = 0; i < 200 && farside.Output().count(text) < times; ++i)
            farside.WaitForOutput("\n(never printed)", 50);
        return farside.Output().count(text) >= times;
    }

    TempDir dir;
    MosquittoBroker broker;
    FarsideProcess farside;
    MqttTestClient mqtt{"test-pc"};
    TcpLink control;
    size_t seen = 0;
    int portTransferPort = 0, relayPort = 0;
};

TEST_F(FarsideFaultsTest, SwitchesSilenceDelayAndOccupyTheAnswers)
{
    EXPECT_EQ(Command("silent GW-1 NOPE on"), "error: no device GW-1/NOPE");
    EXPECT_EQ(Command("silent GW-1 SER-ECHO maybe"), "error: bad value \"maybe\" for silent");
    EXPECT_EQ(Command("explode"), "error: unknown command \"explode\"");
    EXPECT_EQ(Command("drop GW-1 PF-ECHO"), "error: no tunnel connection of GW-1/PF-ECHO");

    // Silent from the inventory and from the control channel; data aside, nothing goes out.
    ASSERT_TRUE(mqtt.Publish("/sys/varnex_binder/sub", Bind("SER-QUIET")));
    EXPECT_TRUE(Logged("not sent (fault silent) /" + QString::fromStdString(kPc) + "/lumetraToPC " +
                       QString::fromStdString(Answer(2984, "SER-QUIET", ",\"is_bind\":0"))));
    ASSERT_EQ(Command("silent GW-1 SER-ECHO on"), "ok");
    ASSERT_TRUE(mqtt.Publish("/sys/varnex_binder/sub", Bind("SER-ECHO")));
    EXPECT_TRUE(Logged("not sent (fault silent)", 2));
    ASSERT_EQ(Command("silent GW-1 SER-ECHO off"), "ok");
    ASSERT_TRUE(mqtt.Publish("/sys/varnex_binder/sub", Bind("SER-ECHO")));
    EXPECT_TRUE(Next(Answer(2984, "SER-ECHO", ",\"is_bind\":0"))); // the first message the PC gets

    // A delayed answer leaves late and does not hold up the answers of other devices.
    ASSERT_EQ(Command("delay GW-1 SER-ECHO 800"), "ok");
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(mqtt.Publish("/sys/varnex_binder/sub", Bind("SER-ECHO")));
    TcpLink relay;
    ASSERT_TRUE(relay.Open(relayPort, Registration("PF-ECHO", 0)));
    EXPECT_TRUE(Next(Answer(2984, "PF-ECHO", ",\"is_occupy\":false")));
    EXPECT_TRUE(Next(Answer(2984, "SER-ECHO", ",\"is_bind\":0")));
    EXPECT_GE(clock.elapsed(), 800);
    ASSERT_EQ(Command("delay GW-1 SER-ECHO 0"), "ok");

    // Occupied: the binder and the relay both say so, until switched off.
    relay.abort();
    ASSERT_TRUE(Logged("connection closed, device freed"));
    ASSERT_EQ(Command("occupied GW-1 PF-ECHO on"), "ok");
    ASSERT_EQ(Command("occupied GW-1 SER-ECHO on"), "ok");
    ASSERT_TRUE(mqtt.Publish("/sys/varnex_binder/sub", Bind("SER-ECHO")));
    EXPECT_TRUE(Next(Answer(2984, "SER-ECHO", ",\"is_bind\":1")));
    TcpLink refused;
    ASSERT_TRUE(refused.Open(relayPort, Registration("PF-ECHO", 0)));
    EXPECT_TRUE(Next(Answer(2984, "PF-ECHO", ",\"is_occupy\":true")));
    bool closed = false;
    refused.ReadToClose(&closed);
    EXPECT_TRUE(closed);
    ASSERT_EQ(Command("occupied GW-1 PF-ECHO off"), "ok");
    TcpLink open;
    ASSERT_TRUE(open.Open(relayPort, Registration("PF-ECHO", 0)));
    EXPECT_TRUE(Next(Answer(2984, "PF-ECHO", ",\"is_occupy\":false")));
}

TEST_F(FarsideFaultsTest, DroppedAndRestartedConnectionsReattachWithReconnect)
{
    // Relay: a far-side drop keeps the device connection for a reconnect, which gets
    // no new 2984 and carries the bytes on.
    TcpLink first;
    ASSERT_TRUE(first.Open(relayPort, Registration("PF-ECHO", 0)));
    ASSERT_TRUE(Next(Answer(2984, "PF-ECHO", ",\"is_occupy\":false")));
    ASSERT_TRUE(first.Send("hello"));
    EXPECT_EQ(first.Read(5), "hello");
    ASSERT_EQ(Command("drop GW-1 PF-ECHO"), "ok");
    bool closed = false;
    first.ReadToClose(&closed);
    EXPECT_TRUE(closed);
    TcpLink second;
    ASSERT_TRUE(second.Open(relayPort, Registration("PF-ECHO", 1) + "again"));
    EXPECT_EQ(second.Read(5), "again");
    EXPECT_TRUE(Logged("re-attached to its device connection"));

    // A reconnect while the old connection lives replaces it.
    TcpLink third;
    ASSERT_TRUE(third.Open(relayPort, Registration("PF-ECHO", 1)));
    second.ReadToClose(&closed);
    EXPECT_TRUE(closed);
    ASSERT_TRUE(third.Send("third"));
    EXPECT_EQ(third.Read(5), "third");

    // Dropped after exactly N bytes from the PC, counted from the switch; what the
    // device answered and the dropped connection did not take comes on the next one.
    ASSERT_EQ(Command("drop-after GW-1 PF-ECHO 10"), "ok");
    ASSERT_TRUE(third.Send("0123456789ABCDEF"));
    std::string echoed = third.ReadToClose(&closed);
    EXPECT_TRUE(closed);
    ASSERT_EQ(Command("drop-after GW-1 PF-ECHO 0"), "ok");
    TcpLink fourth;
    ASSERT_TRUE(fourth.Open(relayPort, Registration("PF-ECHO", 1)));
    if (echoed.size() < 10)
        echoed += fourth.Read(10 - echoed.size());
    EXPECT_EQ(echoed, "0123456789");

    // A restart closes every tunnel connection and listens again on the same port.
    ASSERT_TRUE(Logged("re-attached to its device connection", 3));
    EXPECT_EQ(Command("restart 200"), "ok");
    fourth.ReadToClose(&closed);
    EXPECT_TRUE(closed);
    TcpLink fifth;
    ASSERT_TRUE(fifth.Open(relayPort, Registration("PF-ECHO", 1) + "fifth"));
    EXPECT_EQ(fifth.Read(5), "fifth");
    EXPECT_TRUE(Logged("re-attached to its device connection", 4));

    // Port-transfer: the same switches, and a reconnect replaces the connection
    // without a new result 2993.
    ASSERT_TRUE(mqtt.Publish("/sys/varnex_binder/sub", Bind("SER-ECHO")));
    ASSERT_TRUE(Next(Answer(2984, "SER-ECHO", ",\"is_bind\":0")));
    TcpLink serial;
    ASSERT_TRUE(serial.Open(portTransferPort, Registration("SER-ECHO", 0)));
    ASSERT_TRUE(Next(Answer(2993, "SER-ECHO", ",\"flag\":1,\"msg\":\"串口设备连接成功\"")));
    ASSERT_EQ(Command("drop-after GW-1 SER-ECHO 2"), "ok");
    ASSERT_TRUE(serial.Send("xyz"));
    EXPECT_EQ(serial.ReadToClose(&closed), "xy");
    EXPECT_TRUE(closed);
    ASSERT_EQ(Command("drop-after GW-1 SER-ECHO 0"), "ok");
    TcpLink serialAgain;
    ASSERT_TRUE(serialAgain.Open(portTransferPort, Registration("SER-ECHO", 1) + "abc"));
    EXPECT_EQ(serialAgain.Read(3), "abc");
    ASSERT_EQ(Command("drop GW-1 SER-ECHO"), "ok");
    serialAgain.ReadToClose(&closed);
    EXPECT_TRUE(closed);
    // The reconnects got no new 2984 or 2993 (the far side logs each message it sends
    // before the bytes of that connection flow).
    EXPECT_EQ(farside.Output().count("\"cmdId\":2984,\"gw_sn\":\"GW-1\",\"dev_sn\":\"PF-ECHO\""), 1);
    EXPECT_EQ(farside.Output().count("\"cmdId\":2993"), 1);
}

TEST_F(FarsideFaultsTest, RelayPeerThatNeverReadsLeavesTheFarSideBounded)
{
    if (!ResourceUse::MeasuresMemory())
        GTEST_SKIP() << "resident sizes say nothing in this build";
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(relayPort));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_TRUE(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 ||
                errno == EINPROGRESS);
    pollfd writable{fd, POLLOUT, 0};
    ASSERT_EQ(poll(&writable, 1, 10000), 1);
    const std::string registration = Registration("PF-ECHO", 0);
    ASSERT_EQ(send(fd, registration.data(), registration.size(), MSG_NOSIGNAL), ssize_t(registration.size()));
    ASSERT_TRUE(Next(Answer(2984, "PF-ECHO", ",\"is_occupy\":false")));
    const long before = ResourceUse::PeakResidentKb(static_cast<pid_t>(farside.ProcessId()));
    ASSERT_GT(before, 0);

    // Write without ever reading until the far side stops taking bytes (3 s without
    // room), or far more than any socket buffers hold.
    const std::string block(1 << 16, 'x');
    const size_t limit = size_t(1) << 30;
    size_t written = 0;
    while (written < limit && poll(&writable, 1, 3000) == 1) {
        const ssize_t count = send(fd, block.data(), block.size(), MSG_NOSIGNAL);
        if (count < 0 && errno != EAGAIN)
            break;
        written += count > 0 ? size_t(count) : 0;
    }
    const long after = ResourceUse::PeakResidentKb(static_cast<pid_t>(farside.ProcessId()));
    close(fd);
    EXPECT_LT(written, limit) << "the far side never pushed back";
    EXPECT_LT(after - before, 16 * 1024) << "peak resident size grew from " << before << " to " << after
                                         << " KiB after " << written << " bytes";
}

} // namespace
