// Open tunnels that lose their data path: `lumetra-cli open` against the real far side,
// whose control channel cuts connections, and a far side and broker restarted under it.

#include "OpenBed.h"

#include "support/MqttTestClient.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <modbus/modbus.h>

#include <array>
#include <csignal>
#include <string>

namespace {

struct LinkCase
{
    const char* device;
    bool serial;
    std::array<uint16_t, 4> registers;
};

void PrintTo(const LinkCase& c, std::ostream* os)
{
    *os << c.device;
}

ModbusMaster Master(const LinkCase& c, const QString& ready, std::string* error)
{
    if (c.serial)
        return ConnectModbusMaster(modbus_new_rtu(ready.toUtf8().constData(), 9600, 'N', 8, 1), error);
    const QString port = ready.section(':', -1);
    return ConnectModbusMaster(modbus_new_tcp("127.0.0.1", port.toInt()), error);
}

// Reads the four registers until `wanted` reads in a row succeeded or `timeoutMs`
// passed; every read that succeeds must carry exactly the slave's values.
::testing::AssertionResult ReadsResume(modbus_t* master, const std::array<uint16_t, 4>& expected, int wanted,
                                       int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    int inRow = 0;
    while (inRow < wanted && clock.elapsed() < timeoutMs) {
        std::array<uint16_t, 4> got{};
        if (modbus_read_registers(master, 0, 4, got.data()) != 4) {
            inRow = 0;
            modbus_flush(master);
            continue;
        }
        if (got != expected)
            return ::testing::AssertionFailure() << "a read returned other values than the slave's";
        ++inRow;
    }
    if (inRow < wanted)
        return ::testing::AssertionFailure() << "reads did not resume";
    return ::testing::AssertionSuccess();
}

class LinkRecovery : public ::testing::TestWithParam<LinkCase>
{
};

// A restarted far side forgets every binding: the serial tunnel, refused at first, binds
// its device again and re-registers.
TEST_P(LinkRecovery, CutConnectionIsTakenUpAndARestartedFarSideTakesTheTunnelBack)
{
    const LinkCase& c = GetParam();
    OpenBed bed;
    bed.SetPlatconfText("link_retry_seconds", "8");
    ASSERT_TRUE(bed.StartWithControl()) << bed.Error().toStdString();
    bed.Open(c.device);
    const QString ready = bed.WaitForLine("ready: ");
    ASSERT_FALSE(ready.isEmpty()) << bed.Out().toStdString() << bed.Err().toStdString();
    std::string error;
    ModbusMaster master = Master(c, ready, &error);
    ASSERT_NE(master, nullptr) << error;
    ASSERT_TRUE(ReadsResume(master.get(), c.registers, 2, 15000));

    ASSERT_EQ(bed.Control(std::string("drop GW-E2E-01 ") + c.device), "ok");
    bed.WaitForLine("link: lost", 10000);
    EXPECT_TRUE(bed.Out().contains("link: lost")) << bed.Out().toStdString();
    EXPECT_TRUE(ReadsResume(master.get(), c.registers, 3, 30000));
    bed.WaitForLine("link: back", 10000);
    EXPECT_TRUE(bed.Out().contains("link: back")) << bed.Out().toStdString() << bed.Err().toStdString();
    EXPECT_EQ(bed.Out().count("link: lost"), 1);
    EXPECT_TRUE(bed.Farside().Output().contains("(reconnect)")) << bed.Farside().Output().toStdString();

    ASSERT_TRUE(bed.RestartFarside()) << bed.Error().toStdString();
    EXPECT_TRUE(ReadsResume(master.get(), c.registers, 3, 30000)) << bed.Err().toStdString();
    if (c.serial) {
        EXPECT_TRUE(bed.Farside().Output().contains("refused: not bound to"))
            << bed.Farside().Output().toStdString();
        EXPECT_TRUE(bed.Farside().Output().contains("binder: GW-E2E-01/RTU-TCP bound to " +
                                                    QString::fromStdString(bed.PcId())))
            << bed.Farside().Output().toStdString();
    }
    EXPECT_EQ(bed.Interrupt(), 0) << bed.Err().toStdString();
}

// The far side's data servers stay away longer than the installation's retry time:
// the tunnel gives up with its text, ends, and releases the device.
TEST_P(LinkRecovery, FarSideAwayLongerThanTheRetryTimeEndsTheTunnelWithItsText)
{
    const LinkCase& c = GetParam();
    OpenBed bed;
    bed.SetPlatconfText("link_retry_seconds", "4");
    ASSERT_TRUE(bed.StartWithControl()) << bed.Error().toStdString();
    bed.Open(c.device);
    const QString ready = bed.WaitForLine("ready: ");
    ASSERT_FALSE(ready.isEmpty()) << bed.Out().toStdString() << bed.Err().toStdString();

    QTcpSocket control;
    ASSERT_TRUE(bed.SendControl("restart 15000", control));
    EXPECT_TRUE(bed.WaitForError(QString::fromUtf8("连接中断，通道已关闭"), 20000))
        << bed.Err().toStdString();
    EXPECT_EQ(bed.WaitForExit(10000), 1);
    EXPECT_TRUE(bed.Out().contains("link: lost")) << bed.Out().toStdString();
    EXPECT_FALSE(bed.Out().contains("link: back")) << bed.Out().toStdString();
    const char* release = c.serial ? "binder: 3002 GW-E2E-01/RTU-TCP" : "PLC-TCP unbound";
    EXPECT_TRUE(bed.Farside().WaitForOutput(release, 10000)) << bed.Farside().Output().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Tunnels, LinkRecovery,
                         ::testing::Values(LinkCase{"RTU-TCP", true, {101, 102, 103, 104}},
                                           LinkCase{"PLC-TCP", false, {301, 302, 303, 304}}),
                         [](const ::testing::TestParamInfo<LinkCase>& param) {
                             return param.index == 0 ? std::string("Serial") : std::string("PortForward");
                         });

// A broker restarted under an open serial tunnel: the tunnel binds its device again
// and goes on. A tunnel closed while the broker is down: its releases are kept, go
// out once the broker is back, and another installation can then take the device.
TEST(BrokerOutage, OpenTunnelIsBoundAgainAndReleasesOfAClosingOneArriveAfterTheRestart)
{
    OpenBed bed;
    ASSERT_TRUE(bed.StartWithControl()) << bed.Error().toStdString();
    bed.Open("RTU-TCP");
    const QString ready = bed.WaitForLine("ready: ");
    ASSERT_FALSE(ready.isEmpty()) << bed.Out().toStdString() << bed.Err().toStdString();
    const LinkCase serial{"RTU-TCP", true, {101, 102, 103, 104}};
    std::string error;
    ModbusMaster master = Master(serial, ready, &error);
    ASSERT_NE(master, nullptr) << error;
    ASSERT_TRUE(ReadsResume(master.get(), serial.registers, 1, 15000));

    const QString bound = "binder: GW-E2E-01/RTU-TCP bound to " + QString::fromStdString(bed.PcId());
    ASSERT_TRUE(bed.Broker().Restart()) << bed.Broker().Error().toStdString();
    QElapsedTimer clock;
    clock.start();
    while (bed.Farside().Output().count(bound) < 2 && clock.elapsed() < 20000)
        bed.Farside().WaitForOutput("\n(never printed)", 100);
    EXPECT_EQ(bed.Farside().Output().count(bound), 2) << bed.Farside().Output().toStdString();
    EXPECT_TRUE(ReadsResume(master.get(), serial.registers, 2, 30000));
    master.reset();

    // Closed while the broker is down.
    bed.Broker().Stop();
    ::kill(static_cast<pid_t>(bed.Pid()), SIGINT);
    ASSERT_TRUE(bed.Broker().Start()) << bed.Broker().Error().toStdString();
    EXPECT_EQ(bed.WaitForExit(15000), 0) << bed.Err().toStdString();
    // (Stopping the broker made it publish the last will, which freed the device
    // already; the release still has to arrive.)
    EXPECT_TRUE(bed.Farside().WaitForOutput("binder: 3002 GW-E2E-01/RTU-TCP", 10000))
        << bed.Farside().Output().toStdString();

    MqttTestClient other("e2e-other-pc");
    const std::string otherPc = "99999999999999999999";
    ASSERT_TRUE(other.Connect(bed.Broker().Host(), bed.Broker().Port(), bed.Broker().User(),
                              bed.Broker().Password()));
    ASSERT_TRUE(other.Subscribe("/" + otherPc + "/lumetraToPC", 2));
    ASSERT_TRUE(
        other.Publish("/sys/varnex_binder/sub", R"({"cmd_id":2983,"gw_sn":"GW-E2E-01","dev_sn":"RTU-TCP",)"
                                                R"("pc_id":")" +
                                                    otherPc + "\"}"));
    ASSERT_TRUE(other.WaitForMessages(1, 15000));
    EXPECT_NE(other.Messages()[0].payload.find("\"is_bind\":0"), std::string::npos)
        << other.Messages()[0].payload;
}

} // namespace
