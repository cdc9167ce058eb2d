// A serial tunnel gets far more device bytes in one cmdId 2980 message than its COM port
// takes.

#include "OpenBed.h"

#include "support/ResourceUse.h"
#include "support/SerialEnd.h"

#include <QByteArray>

#include <gtest/gtest.h>

#include <string>

namespace {

// A 2980 message for the test gateway's RTU-TCP device, as the far side sends it;
// `beyond` follows the counted Base64 text and must not be written.
std::string SerialData(int ptSn, const std::string& bytes, const std::string& beyond = "")
{
    const QByteArray text = QByteArray::fromStdString(bytes).toBase64();
    return R"({"cmdId":2980,"gw_sn":"GW-E2E-01","dev_sn":"RTU-TCP","pt_sn":)" + std::to_string(ptSn) +
           R"(,"pt_payload":")" + text.toStdString() +
           QByteArray::fromStdString(beyond).toBase64().toStdString() + R"(","payload_len":)" +
           std::to_string(text.size()) + "}";
}

int CountLines(const QString& text, const QString& part)
{
    int count = 0;
    for (const QString& line : text.split('\n'))
        count += line.contains(part) ? 1 : 0;
    return count;
}

TEST(SerialBurst, BytesPastThePortsQueueAreDroppedWithOneLineOnStandardErrorAndNoneOnStandardOutput)
{
    OpenBed bed;
    ASSERT_TRUE(bed.Start()) << bed.Error().toStdString();
    bed.Open("RTU-TCP");
    const QString path = bed.WaitForLine("ready: ");
    ASSERT_TRUE(path.startsWith('/')) << bed.Out().toStdString() << bed.Err().toStdString();
    // The user's application opens its port and reads nothing for now. The pair
    // holds about 4 MiB for it and the tunnel's queue 1 MiB: one message of 10 MB
    // (7.5 MB of bytes) is more than both, and drops the rest with one line.
    SerialEnd user;
    ASSERT_TRUE(user.Open(path.toStdString()));
    const std::string topic = "/" + bed.PcId() + "/lumetraToPC";
    ASSERT_TRUE(bed.Peer().Publish(topic, SerialData(1, std::string(7500000, 'x')), 1, 30000));
    ASSERT_TRUE(bed.WaitForError("buffer over flow")) << bed.Err().left(4000).toStdString();

    // Once the application reads, the queue drains and the tunnel takes bytes again:
    // a marker sent after that arrives (one sent while the queue still drains is
    // dropped with the rest, so it is sent again until one comes through). Only the
    // "payload_len" characters of its Base64 text count.
    std::string tail;
    bool marked = false;
    for (int attempt = 10; attempt < 40 && !marked; ++attempt) {
        const std::string marker = "<marker #" + std::to_string(attempt) + ">"; // 12 bytes: no padding
        ASSERT_TRUE(bed.Peer().Publish(topic, SerialData(100 + attempt, marker, "JUNK"), 1));
        for (int read = 0; read < 20 && !marked; ++read) {
            tail += user.Read(1 << 20, 100);
            marked = tail.find(marker) != std::string::npos;
            if (tail.size() > 4096)
                tail.erase(0, tail.size() - 4096);
        }
    }
    EXPECT_TRUE(marked) << "no marker came through";
    EXPECT_EQ(tail.find("JUNK"), std::string::npos);

    const long peakKb = ResourceUse::PeakResidentKb(static_cast<pid_t>(bed.Pid()));
    EXPECT_GT(peakKb, 0);
    if (ResourceUse::MeasuresMemory()) {
        EXPECT_LT(peakKb, 100 * 1024) << "peak resident size of lumetra-cli " << peakKb << " KiB";
    }
    EXPECT_EQ(bed.Interrupt(), 0) << bed.Err().toStdString();
    EXPECT_EQ(bed.Out(), "ready: " + path + "\n");
    EXPECT_EQ(CountLines(bed.Err(), "buffer over flow"), 1) << bed.Err().left(4000).toStdString();
}

} // namespace
