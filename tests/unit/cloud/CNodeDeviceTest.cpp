#include "cloud/CNodeDevice.h"
#include "cloud/VirtualComPair.h"

#include <gtest/gtest.h>

TEST(CNodeDevice, AddressTextShowsTheSerialSettingsWithTheirParityLetterOrTheIp)
{
    // Interface type, baud, data bits, parity, stop bits, and the text.
    const std::tuple<int, int, int, int, int, const char*> cases[] = {
        {1, 9600, 8, 0, 1, "COM#,9600,8,N,1"},
        {2, 115200, 7, 1, 2, "COM#,115200,7,O,2"},
        {1, 19200, 8, 2, 1, "COM#,19200,8,E,1"},
        {1, 19200, 8, 3, 1, "COM#,19200,8,E,1"},
        {1, 19200, 8, -1, 1, "COM#,19200,8,E,1"},
        {3, 9600, 8, 0, 1, "10.0.0.9"}, // other interfaces: the ip
        {0, 9600, 8, 0, 1, "10.0.0.9"}};
    for (const auto& [iface, baud, databit, parity, stopbit, text] : cases) {
        CNodeDevice device;
        std::tie(device.ifaceType, device.baud, device.databit, device.parity, device.stopbit) =
            std::tie(iface, baud, databit, parity, stopbit);
        device.ip = QStringLiteral("10.0.0.9");
        EXPECT_EQ(device.AddressText().toStdString(), text);
    }
    EXPECT_EQ(CNodeDevice().AddressText(), "");
}

TEST(CNodeDevice, WithAVirtualPairTheUserEndIsShown)
{
    CNodeDevice device;
    EXPECT_EQ(device.UserComNumber(), -1);
    std::tie(device.ifaceType, device.baud, device.databit, device.parity, device.stopbit) =
        std::tuple(1, 9600, 8, 0, 1);
    device.ip = QStringLiteral("10.0.0.9");
    _virtual_com_half a{0, "CNCA", 3, 1, 1}, b{0, "CNCB", 4, 0, 1}, b2{0, "CNCB", 8, 0, 1};
    _virtual_com_pair pair{0, {&a, nullptr}};
    device.virtualComPair = &pair;
    EXPECT_TRUE(device.HasVirtualComPair());
    EXPECT_EQ(device.UserComNumber(), -1); // no user end listed
    pair.halves = {&a, &b};
    EXPECT_EQ(device.AddressText(), "COM4,9600,8,N,1");
    pair.halves = {&b, nullptr, &a}; // the order of the ends does not matter
    EXPECT_EQ(device.AddressText(), "COM4,9600,8,N,1");
    pair.halves = {&b, &a, &b2}; // the last user end listed counts
    EXPECT_EQ(device.UserComNumber(), 8);
    device.ifaceType = 4; // a network device shows its ip even with a pair
    EXPECT_EQ(device.AddressText(), "10.0.0.9");
}
