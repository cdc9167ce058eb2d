// The baud texts an endpoint recognises and its line settings.

#include "endpoint/CSerialIO.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

TEST(SerialBaudText, RecognisedRatesAreTaken)
{
    for (const int rate :
         {110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000}) {
        SerialLineSettings settings;
        settings.baudRate = 1;
        EXPECT_TRUE(CSerialIO::ApplyBaudText(settings, QString::number(rate))) << rate;
        EXPECT_EQ(settings.baudRate, static_cast<uint32_t>(rate));
    }
}

TEST(SerialBaudText, OtherTextsLeaveTheRate)
{
    for (const char* text : {"115201", "0", "-9600", "", "fast", "230400", "99999999999999999999"}) {
        SerialLineSettings settings;
        settings.baudRate = 4800;
        EXPECT_FALSE(CSerialIO::ApplyBaudText(settings, QString::fromUtf8(text))) << text;
        EXPECT_EQ(settings.baudRate, 4800u) << text;
    }
    // Read like atoi: leading digits count.
    SerialLineSettings settings;
    EXPECT_TRUE(CSerialIO::ApplyBaudText(settings, QStringLiteral("19200 baud")));
    EXPECT_EQ(settings.baudRate, 19200u);
}

TEST(SerialBaudText, DefaultEndpointIsCom1At115200EightNOne)
{
    CSerialIO io;
    EXPECT_EQ(io.PortName(), QStringLiteral("COM1"));
    EXPECT_EQ(io.BaudText(), QStringLiteral("115200"));
    const auto line = [&io] {
        const SerialLineSettings s = io.LineSettings();
        return std::make_tuple(s.baudRate, int(s.byteSize), int(s.parity), int(s.stopBits));
    };
    EXPECT_EQ(line(), std::make_tuple(115200u, 8, 0, 0));

    // Open stores the name and baud text; the rate stays the one derived at
    // construction and the line stays 8N1.
    io.Open(QStringLiteral("/nonexistent/serial/port"), QStringLiteral("9600"), 7, 'E', 2);
    EXPECT_EQ(io.PortName(), QStringLiteral("/nonexistent/serial/port"));
    EXPECT_EQ(io.BaudText(), QStringLiteral("9600"));
    EXPECT_EQ(line(), std::make_tuple(115200u, 8, 0, 0));
}

} // namespace
