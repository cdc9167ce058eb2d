#include "app/TraceLog.h"
#include "TempHome.h"

#include <QDir>
#include <QFile>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace {

const unsigned char* Bytes(const char* text)
{
    return reinterpret_cast<const unsigned char*>(text);
}

QByteArray Hex(const std::vector<unsigned char>& data)
{
    QByteArray out;
    char group[8];
    for (unsigned char b : data) {
        std::snprintf(group, sizeof group, "[%.2X]", b);
        out += group;
    }
    return out;
}

} // namespace

TEST(TraceLogEntry, RawAndHexEntriesAreByteExact)
{
    TempHome home;
    ASSERT_TRUE(home.IsValid());
    TraceLog(Bytes("abc"), 3, "MQTT Send Encode:", 0);
    EXPECT_EQ(home.Read("logtrace"), QByteArray("MQTT Send Encode:-3-abc\r\n"));
    TraceLog(Bytes("abc"), 3, "local socket recv:", 1);
    EXPECT_EQ(home.Read("logtrace"),
              QByteArray("MQTT Send Encode:-3-abc\r\nlocal socket recv:-3-[61][62][63]\r\n"));
}

TEST(TraceLogEntry, LabelAndLengthEdges)
{
    TempHome home;
    ASSERT_TRUE(home.IsValid());
    TraceLog(Bytes("xy"), 2, nullptr, 0);
    TraceLog(Bytes("xy"), 2, "", 1);
    TraceLog(Bytes("ignored"), 0, "L:", 0);
    TraceLog(Bytes("ignored"), 0, "H:", 1);
    TraceLog(nullptr, 0, nullptr, 0);
    TraceLog(nullptr, 5, "null data:", 1); // nothing to read: recorded as empty
    EXPECT_EQ(home.Read("logtrace"), QByteArray("-2-xy\r\n"
                                                "-2-[78][79]\r\n"
                                                "L:-0-\r\n"
                                                "H:-0-\r\n"
                                                "-0-\r\n"
                                                "null data:-0-\r\n"));
}

TEST(TraceLogEntry, EveryByteValueRawAndHex)
{
    TempHome home;
    ASSERT_TRUE(home.IsValid());
    std::vector<unsigned char> all(256);
    for (int i = 0; i < 256; ++i)
        all[static_cast<size_t>(i)] = static_cast<unsigned char>(i);
    TraceLog(all.data(), 256, "raw:", 0);
    TraceLog(all.data(), 256, "hex:", 1);
    const unsigned char edges[] = {0x00, 0xFF};
    TraceLog(edges, 2, "edges:", 1);

    const QByteArray expected = QByteArray("raw:-256-") +
                                QByteArray(reinterpret_cast<const char*>(all.data()), 256) + "\r\n" +
                                "hex:-256-" + Hex(all) + "\r\n" + "edges:-2-[00][FF]\r\n";
    EXPECT_EQ(home.Read("logtrace"), expected);
}

TEST(TraceLogFile, AppendsToExistingContentWithoutTruncating)
{
    TempHome home;
    ASSERT_TRUE(home.IsValid());
    const QByteArray earlier("entries of an earlier run\r\n");
    ASSERT_TRUE(home.Write("logtrace", earlier));
    TraceLog(Bytes("1"), 1, "a:", 0);
    TraceLog(Bytes("2"), 1, "b:", 0);
    EXPECT_EQ(home.Read("logtrace"), earlier + "a:-1-1\r\nb:-1-2\r\n");
}

TEST(TraceLogFile, UnopenableFileDropsTheEntry)
{
    TempHome home;
    ASSERT_TRUE(home.IsValid());
    // A folder in the place of the file cannot be opened for writing, even by root.
    ASSERT_TRUE(QDir(home.Path()).mkdir("logtrace"));
    TraceLog(Bytes("abc"), 3, "lost:", 1);
    EXPECT_TRUE(QDir(home.File("logtrace")).isEmpty());

    // A program folder that does not exist: nothing is created.
    ::setenv("LUMETRA_HOME", QFile::encodeName(home.File("missing")).constData(), 1);
    TraceLog(Bytes("abc"), 3, "lost:", 0);
    EXPECT_FALSE(QFile::exists(home.File("missing")));

    // The writer still works once the file can be opened.
    ::setenv("LUMETRA_HOME", QFile::encodeName(home.Path()).constData(), 1);
    ASSERT_TRUE(QDir(home.Path()).rmdir("logtrace"));
    TraceLog(Bytes("ok"), 2, "", 0);
    EXPECT_EQ(home.Read("logtrace"), QByteArray("-2-ok\r\n"));
}

// Two writers at once: the file must parse back into whole entries, each writer's
// entries in its own order, none missing.
TEST(TraceLogFile, ConcurrentWritersProduceOnlyWholeEntries)
{
    TempHome home;
    ASSERT_TRUE(home.IsValid());
    constexpr int kPerThread = 400;
    auto writer = [](char who, int hex) {
        for (int i = 0; i < kPerThread; ++i) {
            // Payload of varying length that itself contains CR LF and the separator.
            std::string payload(static_cast<size_t>(i % 37), who);
            payload += "\r\n-" + std::to_string(i);
            const std::string label = std::string(1, who) + ":";
            TraceLog(reinterpret_cast<const unsigned char*>(payload.data()),
                     static_cast<uint32_t>(payload.size()), label.c_str(), hex);
        }
    };
    std::thread a(writer, 'A', 0);
    std::thread b(writer, 'B', 1);
    a.join();
    b.join();

    const QByteArray file = home.Read("logtrace");
    int next[2] = {0, 0};
    qsizetype pos = 0;
    while (pos < file.size()) {
        ASSERT_LE(pos + 2, file.size());
        const char who = file[pos];
        ASSERT_TRUE(who == 'A' || who == 'B') << "at " << pos;
        ASSERT_EQ(file[pos + 1], ':');
        pos += 2;
        ASSERT_EQ(file[pos], '-');
        const qsizetype end = file.indexOf('-', pos + 1);
        ASSERT_GT(end, pos + 1);
        bool ok = false;
        const int length = file.mid(pos + 1, end - pos - 1).toInt(&ok);
        ASSERT_TRUE(ok);
        pos = end + 1;

        const int index = next[who - 'A']++;
        std::string payload(static_cast<size_t>(index % 37), who);
        payload += "\r\n-" + std::to_string(index);
        ASSERT_EQ(length, static_cast<int>(payload.size()));
        const QByteArray body = who == 'A'
                                    ? QByteArray(payload.data(), static_cast<qsizetype>(payload.size()))
                                    : Hex(std::vector<unsigned char>(payload.begin(), payload.end()));
        ASSERT_EQ(file.mid(pos, body.size()), body) << "entry " << index << " of " << who;
        pos += body.size();
        ASSERT_EQ(file.mid(pos, 2), QByteArray("\r\n"));
        pos += 2;
    }
    EXPECT_EQ(next[0], kPerThread);
    EXPECT_EQ(next[1], kPerThread);
}
