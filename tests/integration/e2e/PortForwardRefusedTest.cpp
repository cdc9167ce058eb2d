// A port-forward tunnel that the far side does not open: the device occupied, the far
// side silent about it, or the relay server unreachable.

#include "OpenBed.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct RefusedCase
{
    const char* name;
    const char* control; // the far side's fault, for the port-forward device
    const char* shown;   // the text the open ends with
    // The far side's line that says the fault is in force, when the command answers
    // only later.
    const char* inForce = nullptr;
};

void PrintTo(const RefusedCase& c, std::ostream* os)
{
    *os << c.name;
}

class PortForwardRefused : public ::testing::TestWithParam<RefusedCase>
{
};

TEST_P(PortForwardRefused, NoReadyButTheRefusalOrTimeOutTextAndAFailedExit)
{
    const RefusedCase& c = GetParam();
    OpenBed bed;
    ASSERT_TRUE(bed.StartWithControl()) << bed.Error().toStdString();
    QTcpSocket pending;
    if (c.inForce == nullptr) {
        ASSERT_EQ(bed.Control(c.control), "ok");
    } else {
        ASSERT_TRUE(bed.SendControl(c.control, pending));
        ASSERT_TRUE(bed.Farside().WaitForOutput(c.inForce)) << bed.Farside().Output().toStdString();
    }
    bed.Open("PLC-TCP");
    // The waiting dialog gives up after 30 s.
    EXPECT_TRUE(bed.WaitForError(QString::fromUtf8(c.shown), 45000)) << bed.Err().toStdString();
    EXPECT_EQ(bed.WaitForExit(15000), 1) << bed.Err().toStdString();
    EXPECT_FALSE(bed.Out().contains("ready:")) << bed.Out().toStdString();
    EXPECT_FALSE(bed.Err().contains(QString::fromUtf8("网络透传通道建立成功"))) << bed.Err().toStdString();
    // A refusal comes before the time-out and takes its place.
    EXPECT_EQ(bed.Err().count(QString::fromUtf8("请求超时")), std::string(c.shown) == "请求超时" ? 1 : 0)
        << bed.Err().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Opens, PortForwardRefused,
    ::testing::Values(RefusedCase{"Occupied", "occupied GW-E2E-01 PLC-TCP on", "通道占用中"},
                      RefusedCase{"Silent", "silent GW-E2E-01 PLC-TCP on", "请求超时"},
                      // The tunnel servers are gone for 20 s: the relay refuses the
                      // tunnel's one connection, made when the open starts.
                      RefusedCase{"UnreachableRelay", "restart 20000", "请求超时",
                                  "relay and port-transfer servers closed"}),
    [](const ::testing::TestParamInfo<RefusedCase>& param) { return std::string(param.param.name); });

} // namespace
