// The baud texts an endpoint recognises and its line settings.

#include "endpoint/CSerialIO.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

TEST(SerialBaudText, RecognisedRatesAreTakenOtherTextsLeaveTheRate)
{
    std::vector<std::pair<std::string, uint32_t>> cases;
    for (const int rate :
         {110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000})
        cases.emplace_back(std::to_string(rate), rate);
    // Read like atoi: leading digits count.
    cases.emplace_back("19200 baud", 19200);
    for (const char* text : {"115201", "0", "-9600", "", "fast", "230400", "99999999999999999999"})
        cases.emplace_back(text, 0);
    for (const auto& [text, rate] : cases) {
        SerialLineSettings settings;
        settings.baudRate = 1;
        EXPECT_EQ(CSerialIO::ApplyBaudText(settings, QString::fromStdString(text)), rate != 0) << text;
        EXPECT_EQ(settings.baudRate, rate != 0 ? rate : 1u) << text;
    }
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
