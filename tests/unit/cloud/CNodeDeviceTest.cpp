#include "cloud/CNodeDevice.h"
#include "cloud/VirtualComPair.h"

#include <gtest/gtest.h>

namespace {

CNodeDevice SerialDevice(int baud, int databit, int parity, int stopbit)
{
    CNodeDevice device;
    device.ifaceType = 1;
    device.baud = baud;
    device.databit = databit;
    device.parity = parity;
    device.stopbit = stopbit;
    device.ip = QStringLiteral("10.0.0.9");
    return device;
}

TEST(CNodeDevice, ParityLetter)
{
    CNodeDevice device;
    const std::pair<int, char> cases[] = {{0, 'N'}, {1, 'O'}, {2, 'E'}, {3, 'E'}, {-1, 'E'}, {1000, 'E'}};
    for (const auto& [parity, letter] : cases) {
        device.parity = parity;
        EXPECT_EQ(device.ParityLetter(), letter) << "parity " << parity;
    }
}

TEST(CNodeDevice, InterfaceAndTunnelKinds)
{
    CNodeDevice device;
    for (int type : {0, 3, -1}) {
        device.ifaceType = type;
        device.tunType = type;
        EXPECT_FALSE(device.IsSerialInterface()) << type;
        EXPECT_FALSE(device.IsTunnelCapable()) << type;
    }
    for (int type : {1, 2}) {
        device.ifaceType = type;
        device.tunType = type;
        EXPECT_TRUE(device.IsSerialInterface()) << type;
        EXPECT_TRUE(device.IsTunnelCapable()) << type;
    }
}

TEST(CNodeDevice, AddressTextWithoutPair)
{
    EXPECT_EQ(SerialDevice(9600, 8, 0, 1).AddressText(), "COM#,9600,8,N,1");
    CNodeDevice second = SerialDevice(115200, 7, 1, 2);
    second.ifaceType = 2;
    EXPECT_EQ(second.AddressText(), "COM#,115200,7,O,2");
    EXPECT_EQ(SerialDevice(19200, 8, 5, 1).AddressText(), "COM#,19200,8,E,1");
}

TEST(CNodeDevice, AddressTextOfOtherInterfacesIsTheIp)
{
    CNodeDevice device = SerialDevice(9600, 8, 0, 1);
    device.ifaceType = 3;
    EXPECT_EQ(device.AddressText(), "10.0.0.9");
    device.ifaceType = 0;
    device.ip.clear();
    EXPECT_EQ(device.AddressText(), "");
}

TEST(CNodeDevice, AddressTextShowsTheUserEndOfThePair)
{
    _virtual_com_half a{0, "CNCA", 3, 1, 1, nullptr};
    _virtual_com_half b{0, "CNCB", 4, 0, 1, nullptr};
    _virtual_com_pair pair;
    pair.halves = {&a, &b};
    CNodeDevice device = SerialDevice(9600, 8, 0, 1);
    device.virtualComPair = &pair;
    EXPECT_TRUE(device.HasVirtualComPair());
    EXPECT_EQ(device.UserComNumber(), 4);
    EXPECT_EQ(device.AddressText(), "COM4,9600,8,N,1");

    // The order of the ends in the listing does not matter.
    b.com = 12;
    pair.halves = {&b, &a};
    EXPECT_EQ(device.AddressText(), "COM12,9600,8,N,1");

    // A network device shows its ip even with a pair.
    device.ifaceType = 4;
    EXPECT_EQ(device.AddressText(), "10.0.0.9");
}

TEST(CNodeDevice, UserComNumber)
{
    CNodeDevice device;
    EXPECT_EQ(device.UserComNumber(), -1);

    _virtual_com_half a{1, "CNCA", 5, 1, 1, nullptr};
    _virtual_com_pair pair;
    pair.number = 1;
    pair.halves = {&a, nullptr};
    device.virtualComPair = &pair;
    EXPECT_EQ(device.UserComNumber(), -1);

    _virtual_com_half b1{1, "CNCB", 6, 0, 1, nullptr};
    _virtual_com_half b2{1, "CNCB", 8, 0, 1, nullptr};
    pair.halves = {&b1, &a, nullptr, &b2};
    EXPECT_EQ(device.UserComNumber(), 8);
}

} // namespace
