// `lumetra-cli open --stats` on a serial tunnel through the real far side, whose device
// answers after a set delay ("data-delay" on the control channel).

#include "OpenBed.h"

#include <QRegularExpression>

#include <gtest/gtest.h>
#include <modbus/modbus.h>

#include <array>
#include <string>

namespace {

constexpr int kDelayMs = 200;
// How far above the delay the median may land: the rest of the path is loopback.
constexpr double kSlackMs = 100;

TEST(OpenStats, CountsTheExactBytesAndTheRoundTripOfADelayedDevice)
{
    OpenBed bed;
    ASSERT_TRUE(bed.StartWithControl()) << bed.Error().toStdString();
    ASSERT_EQ(bed.Control("data-delay GW-E2E-01 RTU-TCP " + std::to_string(kDelayMs)), "ok");
    bed.RunCli({"open", "--stats", OpenBed::kGateway, "RTU-TCP"});
    const QString path = bed.WaitForLine("ready: ");
    ASSERT_TRUE(path.startsWith('/')) << bed.Out().toStdString() << bed.Err().toStdString();
    // Nothing went through yet: no round trip to show.
    EXPECT_EQ(bed.WaitForLine("stats: RTU-TCP ", 5000).toStdString(),
              "tx=0 rx=0 rate=0 rtt50=- rtt95=- timeout=-");

    std::string error;
    ModbusMaster master =
        ConnectModbusMaster(modbus_new_rtu(path.toUtf8().constData(), 9600, 'N', 8, 1), &error);
    ASSERT_NE(master, nullptr) << error;
    // Ten reads of 4 registers: 8 request bytes and 13 answer bytes each.
    constexpr int kReads = 10;
    for (int i = 0; i < kReads; ++i) {
        std::array<uint16_t, 4> registers{};
        ASSERT_EQ(modbus_read_registers(master.get(), 0, 4, registers.data()), 4) << modbus_strerror(errno);
        ASSERT_EQ(registers, (std::array<uint16_t, 4>{101, 102, 103, 104}));
    }
    const QString rest = bed.WaitForLine("stats: RTU-TCP tx=80 rx=130 ", 10000);
    ASSERT_FALSE(rest.isEmpty()) << bed.Out().toStdString();
    const QRegularExpressionMatch figures =
        QRegularExpression(R"(^rate=(\d+) rtt50=(\d+\.\d) rtt95=(\d+\.\d) timeout=(\d+)$)").match(rest);
    ASSERT_TRUE(figures.hasMatch()) << rest.toStdString();
    RecordProperty("figures", rest.toStdString());
    const double rtt50 = figures.captured(2).toDouble();
    const double rtt95 = figures.captured(3).toDouble();
    const int timeout = figures.captured(4).toInt();
    EXPECT_GE(rtt50, kDelayMs) << rest.toStdString();
    EXPECT_LE(rtt50, kDelayMs + kSlackMs) << rest.toStdString();
    EXPECT_GE(rtt95, rtt50);
    // Three times the 95th percentile, rounded up from the unrounded value.
    EXPECT_GE(timeout, static_cast<int>(3 * (rtt95 - 0.05)));
    EXPECT_LE(timeout, static_cast<int>(3 * (rtt95 + 0.05)) + 1);
    master.reset();

    EXPECT_EQ(bed.Interrupt(), 0) << bed.Err().toStdString();
    // Every line after "ready:" is a stats line.
    const QStringList lines = bed.Out().split('\n', Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[0], "ready: " + path);
    for (int i = 1; i < lines.size(); ++i)
        EXPECT_TRUE(lines[i].startsWith("stats: RTU-TCP tx=")) << lines[i].toStdString();
}

} // namespace
