#include "app/TraceLog.h"
#include "AppTestSupport.h"
#include "app/Installation.h"
#include "support/ScopedUmask.h"

#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

using namespace std::string_literals;

namespace {

void Log(TraceLog& log, const std::string& data, const char* label, int hex, uint32_t length = ~0u)
{
    log.Write(reinterpret_cast<const unsigned char*>(data.data()), std::min<uint32_t>(length, data.size()),
              label, hex);
}

// Writer A logs its i-th entry raw, writer B as hex; the payload is i % 37 + 1 copies of its letter.
QByteArray Expected(char who, int i)
{
    const int n = i % 37 + 1;
    const QByteArray body = who == 'A' ? QByteArray(n, 'A') : QByteArray("[42]").repeated(n);
    return who + (":-" + QByteArray::number(n) + "-" + body + "\r\n");
}

} // namespace

TEST(TraceLog, EntriesAreAppendedByteExact)
{
    TempHome home;
    Installation installation; // its log is <folder>/logtrace
    TraceLog& log = installation.Trace();
    ASSERT_TRUE(home.Write("logtrace", "earlier run\r\n"));
    Log(log, "abc", "MQTT Send Encode:", 0);
    Log(log, "abc", "local socket recv:", 1);
    Log(log, "a\0\xFF"s, "raw:", 0);
    Log(log, "\x00\x0a\xFF"s, "hex:", 1);
    Log(log, "xy", nullptr, 0);
    Log(log, "xy", "", 1);
    Log(log, "ignored", "L:", 0, 0);
    Log(log, "ignored", "H:", 1, 0);
    log.Write(nullptr, 0, nullptr, 0);
    log.Write(nullptr, 5, "null data:", 1); // nothing to read: recorded as empty
    EXPECT_EQ(home.Read("logtrace").toStdString(),
              "earlier run\r\nMQTT Send Encode:-3-abc\r\nlocal socket recv:-3-[61][62][63]\r\n"
              "raw:-3-a\0\xFF\r\nhex:-3-[00][0A][FF]\r\n-2-xy\r\n-2-[78][79]\r\n"
              "L:-0-\r\nH:-0-\r\n-0-\r\nnull data:-0-\r\n"s);
}

TEST(TraceLog, UnopenableFileDropsTheEntry)
{
    TempHome home;
    TraceLog log(home.File("logtrace"));
    ASSERT_TRUE(QDir(home.Path()).mkdir("logtrace")); // a folder cannot be opened for writing, even by root
    Log(log, "abc", "lost:", 1);
    EXPECT_TRUE(QDir(home.File("logtrace")).isEmpty());
    ASSERT_TRUE(QDir(home.Path()).rmdir("logtrace"));
    Log(log, "ok", "", 0);
    EXPECT_EQ(home.Read("logtrace"), "-2-ok\r\n");
}

// Two writers at once: only whole entries, each writer's in its own order, none missing.
TEST(TraceLog, ConcurrentWritersProduceOnlyWholeEntries)
{
    TempHome home;
    TraceLog log(home.File("logtrace"));
    constexpr int kPerThread = 400;
    auto writer = [&log](char who) {
        const std::string label = std::string(1, who) + ":";
        for (int i = 0; i < kPerThread; ++i)
            Log(log, std::string(i % 37 + 1, who), label.c_str(), who == 'B');
    };
    std::thread a(writer, 'A'), b(writer, 'B');
    a.join();
    b.join();

    const QByteArray file = home.Read("logtrace");
    int next[2] = {0, 0};
    for (qsizetype pos = 0; pos < file.size();) {
        const char who = file[pos];
        ASSERT_TRUE(who == 'A' || who == 'B') << "at " << pos;
        const QByteArray entry = Expected(who, next[who - 'A']++);
        ASSERT_EQ(file.mid(pos, entry.size()), entry) << "at " << pos;
        pos += entry.size();
    }
    EXPECT_EQ(next[0], kPerThread);
    EXPECT_EQ(next[1], kPerThread);
}

// The log holds tunnel traffic: the owner's alone whatever the umask, a log found
// readable by others is tightened before the entry goes in, and a link or a second
// name in its place (which could lead to someone else's file) drops the entry.
TEST(TraceLog, LogIsTheOwnersAloneAndNeverWrittenThroughAnotherName)
{
    const ScopedUmask wideOpen(0);
    TempHome home;
    TraceLog trace(home.File("logtrace"));
    const std::string log = QFile::encodeName(home.File("logtrace")).toStdString();
    Log(trace, "a", "", 0);
    EXPECT_EQ(ScopedUmask::ModeOf(log), 0600);
    ASSERT_EQ(chmod(log.c_str(), 0644), 0);
    Log(trace, "b", "", 0);
    EXPECT_EQ(ScopedUmask::ModeOf(log), 0600);
    EXPECT_EQ(home.Read("logtrace"), "-1-a\r\n-1-b\r\n");

    ASSERT_TRUE(home.Write("elsewhere", "keep"));
    const std::string target = QFile::encodeName(home.File("elsewhere")).toStdString();
    ASSERT_EQ(unlink(log.c_str()), 0);
    ASSERT_EQ(symlink("elsewhere", log.c_str()), 0);
    Log(trace, "c", "", 0);
    ASSERT_EQ(unlink(log.c_str()), 0);
    ASSERT_EQ(link(target.c_str(), log.c_str()), 0);
    Log(trace, "d", "", 0);
    EXPECT_EQ(home.Read("elsewhere"), "keep");
    EXPECT_EQ(ScopedUmask::ModeOf(target), 0666);
}
