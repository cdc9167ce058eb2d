#include "app/TraceLog.h"
#include "AppTestSupport.h"
#include "app/Installation.h"
#include "support/ScopedUmask.h"
#include "support/StderrCapture.h"

#include "support/PlatconfBuilder.h"
#include "support/ScopedEnv.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
#include <optional>
#include <sys/resource.h>
#include <thread>
#include <tuple>
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
    ASSERT_TRUE(log.Flush());
    EXPECT_EQ(home.Read("logtrace").toStdString(),
              "earlier run\r\nMQTT Send Encode:-3-abc\r\nlocal socket recv:-3-[61][62][63]\r\n"
              "raw:-3-a\0\xFF\r\nhex:-3-[00][0A][FF]\r\n-2-xy\r\n-2-[78][79]\r\n"
              "L:-0-\r\nH:-0-\r\n-0-\r\nnull data:-0-\r\n"s);
}

// A file that cannot be opened drops the entries and says so once per streak of
// failures; the log writes again once the file can be opened.
TEST(TraceLog, UnopenableFileDropsTheEntriesAndSaysSoOnce)
{
    TempHome home;
    TraceLog log(home.File("logtrace"));
    const std::string line = "trace log " + QFile::encodeName(home.File("logtrace")).toStdString() + ": ";
    StderrCapture err;
    ASSERT_TRUE(QDir(home.Path()).mkdir("logtrace")); // a folder cannot be opened for writing, even by root
    for (int i = 0; i < 3; ++i) {
        Log(log, "abc", "lost:", 1);
        ASSERT_TRUE(log.Flush());
    }
    EXPECT_TRUE(QDir(home.File("logtrace")).isEmpty());
    EXPECT_EQ(err.CountLines(line), 1u) << err.Text();
    EXPECT_NE(err.Text().find("entries dropped from now on"), std::string::npos) << err.Text();
    ASSERT_TRUE(QDir(home.Path()).rmdir("logtrace"));
    Log(log, "ok", "", 0);
    ASSERT_TRUE(log.Flush());
    EXPECT_EQ(home.Read("logtrace"), "-2-ok\r\n");
    EXPECT_EQ(err.CountLines(line), 1u) << err.Text();

    // A link in the log's place (the open file is found swapped at the next batch)
    // starts a second streak.
    ASSERT_TRUE(QFile::remove(home.File("logtrace")));
    ASSERT_EQ(symlink("elsewhere", QFile::encodeName(home.File("logtrace")).constData()), 0);
    Log(log, "x", "", 0);
    Log(log, "y", "", 0);
    ASSERT_TRUE(log.Flush());
    EXPECT_EQ(err.CountLines(line), 2u) << err.Text();
    EXPECT_FALSE(QFile::exists(home.File("elsewhere")));
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
    ASSERT_TRUE(log.Flush());

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
    ASSERT_TRUE(trace.Flush());
    EXPECT_EQ(ScopedUmask::ModeOf(log), 0600);
    ASSERT_EQ(chmod(log.c_str(), 0644), 0);
    Log(trace, "b", "", 0);
    ASSERT_TRUE(trace.Flush());
    EXPECT_EQ(ScopedUmask::ModeOf(log), 0600);
    EXPECT_EQ(home.Read("logtrace"), "-1-a\r\n-1-b\r\n");

    ASSERT_TRUE(home.Write("elsewhere", "keep"));
    const std::string target = QFile::encodeName(home.File("elsewhere")).toStdString();
    ASSERT_EQ(chmod(target.c_str(), 0666), 0);
    ASSERT_EQ(unlink(log.c_str()), 0);
    ASSERT_EQ(symlink("elsewhere", log.c_str()), 0);
    Log(trace, "c", "", 0);
    ASSERT_TRUE(trace.Flush());
    ASSERT_EQ(unlink(log.c_str()), 0);
    ASSERT_EQ(link(target.c_str(), log.c_str()), 0);
    Log(trace, "d", "", 0);
    ASSERT_TRUE(trace.Flush());
    EXPECT_EQ(home.Read("elsewhere"), "keep");
    EXPECT_EQ(ScopedUmask::ModeOf(target), 0666);
}

// Entries reach the file by themselves shortly after they were handed over, and the
// last ones when the log ends, without anyone asking for a flush.
TEST(TraceLog, EntriesReachTheFileByThemselvesAndWhenTheLogEnds)
{
    TempHome home;
    {
        TraceLog log(home.File("logtrace"));
        Log(log, "soon", "A:", 0);
        QDeadlineTimer deadline(5000);
        while (home.Read("logtrace").isEmpty() && !deadline.hasExpired())
            QThread::msleep(10);
        EXPECT_EQ(home.Read("logtrace"), "A:-4-soon\r\n");
        Log(log, "last", "B:", 1);
    }
    EXPECT_EQ(home.Read("logtrace"), "A:-4-soon\r\nB:-4-[6C][61][73][74]\r\n");
}

// The i-th entry of the rotation test: about 100 bytes, numbered.
QByteArray Numbered(int i)
{
    const QByteArray label = "E" + QByteArray::number(i) + ":";
    return label + "-80-" + QByteArray(80, static_cast<char>('a' + i % 26)) + "\r\n";
}

// Before an entry would take the file over its limit, the file becomes logtrace.1
// (replacing the old one; a link there is replaced, not followed) and a new one
// starts: never more than one old file, each within the limit, every entry whole,
// the newest ones kept in order.
TEST(TraceLog, RotatesAtTheLimitAndKeepsOneOldFile)
{
    const ScopedUmask wideOpen(0);
    TempHome home;
    constexpr uint64_t kLimit = 1000;
    ASSERT_TRUE(home.Write("elsewhere", "keep"));
    ASSERT_EQ(symlink("elsewhere", QFile::encodeName(home.File("logtrace.1")).constData()), 0);
    // An earlier run's file above the limit goes at the first entry.
    ASSERT_TRUE(home.Write("logtrace", QByteArray(1500, 'x')));
    TraceLog log(home.File("logtrace"), kLimit);
    constexpr int kEntries = 57;
    for (int i = 0; i < kEntries; ++i) {
        const QByteArray entry = Numbered(i);
        const QByteArray label = entry.left(entry.indexOf('-'));
        Log(log, std::string(80, static_cast<char>('a' + i % 26)), label.constData(), 0);
        if (i == 0) {
            ASSERT_TRUE(log.Flush());
            EXPECT_EQ(home.Read("logtrace.1"), QByteArray(1500, 'x'));
            EXPECT_EQ(home.Read("logtrace"), entry);
        }
    }
    ASSERT_TRUE(log.Flush());

    EXPECT_EQ(home.Read("elsewhere"), "keep");
    EXPECT_FALSE(QFileInfo(home.File("logtrace.1")).isSymLink());
    EXPECT_FALSE(QFile::exists(home.File("logtrace.2")));
    const QByteArray old = home.Read("logtrace.1");
    const QByteArray current = home.Read("logtrace");
    EXPECT_LE(old.size(), static_cast<qsizetype>(kLimit));
    EXPECT_LE(current.size(), static_cast<qsizetype>(kLimit));
    // The old file was full: one more entry would have taken it over the limit.
    EXPECT_GT(old.size() + Numbered(0).size(), static_cast<qsizetype>(kLimit));
    // Both files hold consecutive whole entries ending with the last one written.
    const QByteArray both = old + current;
    const int first = kEntries - static_cast<int>(both.size() / Numbered(0).size());
    QByteArray expected;
    for (int i = first; i < kEntries; ++i)
        expected += Numbered(i);
    EXPECT_EQ(both, expected);
    EXPECT_EQ(ScopedUmask::ModeOf(QFile::encodeName(home.File("logtrace.1")).toStdString()), 0600);
    EXPECT_EQ(ScopedUmask::ModeOf(QFile::encodeName(home.File("logtrace")).toStdString()), 0600);
}

// A disk that fills up (here: the process's file size limit) takes no half entry: the
// write that failed is cut back, the entries are dropped with one line on standard
// error, and writing goes on once there is room again.
TEST(TraceLog, FullDiskKeepsWholeEntriesAndSaysSoOnce)
{
    TempHome home;
    TraceLog log(home.File("logtrace"));
    const std::string line = "trace log " + QFile::encodeName(home.File("logtrace")).toStdString() + ": ";
    const std::string kilo(1000 - 7, 'k'); // with "-993-" and CR LF: 1000 bytes
    Log(log, kilo, "", 0);
    Log(log, kilo, "", 0);
    ASSERT_TRUE(log.Flush());

    StderrCapture err;
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    for (int i = 0; i < 3; ++i)
        Log(log, kilo, "", 0); // 5000 bytes in all: the write stops at 4096
    const bool flushed = log.Flush();
    Log(log, std::string(3000, 'z'), "", 0);
    const bool flushedAgain = log.Flush();
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, previous);
    ASSERT_TRUE(flushed && flushedAgain);

    EXPECT_EQ(home.Read("logtrace").size(), 2000);
    EXPECT_EQ(err.CountLines(line), 1u) << err.Text();
    Log(log, "room", "", 0);
    ASSERT_TRUE(log.Flush());
    EXPECT_EQ(home.Read("logtrace"),
              QByteArray::fromStdString("-993-" + kilo + "\r\n-993-" + kilo + "\r\n-4-room\r\n"));
    EXPECT_EQ(err.CountLines(line), 1u) << err.Text();
}

// The installation's settings: "trace_data" "0" switches the entries that carry
// tunnel bytes off (the user's LUMETRA_TRACE_DATA wins over it), and
// "trace_limit_mib" sets the cap (1 to 16384 MiB; anything else keeps 64 MiB).
TEST(TraceLog, InstallationSettingsSwitchPayloadsOffAndSetTheLimit)
{
    const std::string data = "\x00\x01"s;
    for (const auto& [entry, own, written] : {std::tuple<const char*, const char*, bool>{"0", nullptr, false},
                                              {"1", nullptr, true},
                                              {nullptr, nullptr, true},
                                              {"0", "1", true},
                                              {"1", "0", false},
                                              {nullptr, "0", false},
                                              {"0", "yes", false}}) {
        SCOPED_TRACE(std::string(entry ? entry : "-") + " " + (own ? own : "-"));
        TempHome home;
        const ScopedEnv env("LUMETRA_TRACE_DATA", own ? std::optional<std::string>(own) : std::nullopt);
        PlatconfBuilder platconf;
        platconf.Text("hotline", "110");
        if (entry)
            platconf.Text("trace_data", entry);
        ASSERT_FALSE(platconf.WriteInto(home.Path()).isEmpty()) << platconf.Problem();
        Installation installation;
        installation.LoadCustomResources();
        Log(installation.Trace(), data, "local socket recv:", 1);
        Log(installation.Trace(), "{}", "MQTT Send Encode:", 0);
        ASSERT_TRUE(installation.Trace().Flush());
        if (written)
            EXPECT_EQ(home.Read("logtrace"), "local socket recv:-2-[00][01]\r\nMQTT Send Encode:-2-{}\r\n");
        else
            EXPECT_FALSE(QFile::exists(home.File("logtrace")));
    }

    constexpr uint64_t kMiB = 1024 * 1024;
    for (const auto& [text, limit] : {std::pair<const char*, uint64_t>{"1", kMiB},
                                      {"16384", 16384 * kMiB},
                                      {"0", 64 * kMiB},
                                      {"16385", 64 * kMiB},
                                      {"-1", 64 * kMiB},
                                      {"2x", 64 * kMiB},
                                      {"", 64 * kMiB},
                                      {"000008", 64 * kMiB},
                                      {"8", 8 * kMiB}}) {
        SCOPED_TRACE(text);
        TempHome home;
        ASSERT_FALSE(PlatconfBuilder().Text("trace_limit_mib", text).WriteInto(home.Path()).isEmpty());
        Installation installation;
        installation.LoadCustomResources();
        EXPECT_EQ(installation.Trace().Limit(), limit);
    }
}

// An entry larger than the queue can hold is dropped at once, said at the first drop
// and counted when the log closes; the entries around it are written.
TEST(TraceLog, EntryThatDoesNotFitTheQueueIsDroppedAndCounted)
{
    TempHome home;
    const std::string line = "trace log " + QFile::encodeName(home.File("logtrace")).toStdString() + ": ";
    StderrCapture err;
    {
        TraceLog log(home.File("logtrace"));
        Log(log, "a", "", 0);
        Log(log, std::string(TraceLog::kQueueBytes, 'x'), "big:", 0);
        EXPECT_EQ(err.CountLines(line + "more than 4194304 bytes wait for the file; entries dropped"), 1u)
            << err.Text();
        Log(log, "b", "", 0);
        Log(log, std::string(TraceLog::kQueueBytes, 'y'), "big:", 0);
    }
    EXPECT_EQ(home.Read("logtrace"), "-1-a\r\n-1-b\r\n");
    EXPECT_EQ(err.CountLines(line), 2u) << err.Text();
    EXPECT_EQ(err.CountLines(line + "entries dropped while the writer was behind: 2"), 1u) << err.Text();
}
