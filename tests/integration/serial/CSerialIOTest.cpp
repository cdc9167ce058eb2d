// Serial endpoints over real virtual COM pairs made by lumetra-vcom: the endpoint
// opens the pair's "CNCA" end by its COM name, the test plays the user's application
// on the CNCB end.

#include "PairFolder.h"
#include "PeerEnd.h"
#include "RecordingSerialIO.h"
#include "SerialEventLog.h"

#include "endpoint/ComTransparent.h"
#include "endpoint/SerialOwner.h"
#include "platform/MessageBox.h"
#include "platform/MessageBoxHandler.h"
#include "support/MessageBoxRecorder.h"
#include "support/PumpUntil.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <random>
#include <thread>
#include <unistd.h>

namespace {

using Kind = SerialEventLog::Kind;
constexpr int kWaitMs = 10000;

std::string RandomBytes(size_t size, unsigned stream)
{
    std::mt19937 gen(stream);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string data(size, '\0');
    for (char& c : data)
        c = static_cast<char>(byte(gen));
    return data;
}

// The name the serial tunnel gives a COM port: "COMk" below 10, "\\.\COMk" from 10.
QString TunnelPortName(int com)
{
    return com < 10 ? QStringLiteral("COM%1").arg(com) : QStringLiteral("\\\\.\\COM%1").arg(com);
}

// True when this process holds a descriptor of the device that `link` points to.
bool HoldsDevice(const std::string& link)
{
    char device[PATH_MAX];
    if (realpath(link.c_str(), device) == nullptr)
        return false;
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr)
        return false;
    bool held = false;
    while (const dirent* entry = readdir(dir)) {
        const std::string fd = std::string("/proc/self/fd/") + entry->d_name;
        char target[PATH_MAX];
        const ssize_t n = readlink(fd.c_str(), target, sizeof target - 1);
        if (n > 0) {
            target[n] = '\0';
            held = held || std::string(target) == device;
        }
    }
    closedir(dir);
    return held;
}

bool HasSends(const std::vector<SerialEventLog::Event>& events, size_t count)
{
    return SerialEventLog::Count(events, Kind::Send) >= count;
}

class SerialIOTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.IsValid());
        pair = folder.Install();
        ASSERT_GE(pair.comA, 1);
        ASSERT_TRUE(user.Open(folder.LinkPath(pair.comB)));
    }

    // Opens the program end and waits for the outcome.
    void OpenProgramEnd(CSerialIO& io)
    {
        io.Open(TunnelPortName(pair.comA), QStringLiteral("9600"), 8, 'N', 1);
        ASSERT_EQ(log.WaitForValue(Kind::Open, kWaitMs), 1);
    }

    PairFolder folder;
    PairFolder::Pair pair;
    PeerEnd user;
    SerialEventLog log;
};

TEST_F(SerialIOTest, OpensByComNameAndClosesOnTheReaderThread)
{
    testing::internal::CaptureStdout();
    {
        RecordingSerialIO io(log);
        OpenProgramEnd(io);
        EXPECT_TRUE(HoldsDevice(folder.LinkPath(pair.comA)));
        io.Close();
        ASSERT_TRUE(
            log.WaitFor([](const auto& e) { return SerialEventLog::Count(e, Kind::Close) == 1; }, kWaitMs));
        EXPECT_FALSE(HoldsDevice(folder.LinkPath(pair.comA))) << "the port is closed after OnClose";

        // The other spelling of the name opens the same port again.
        io.Open(QStringLiteral("\\\\.\\COM%1").arg(pair.comA), QStringLiteral("115200"), 8, 'N', 1);
        ASSERT_TRUE(
            log.WaitFor([](const auto& e) { return SerialEventLog::Count(e, Kind::Open) == 2; }, kWaitMs));
    }
    const std::string printed = testing::internal::GetCapturedStdout();

    const std::vector<SerialEventLog::Event> events = log.Events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].kind, Kind::Open);
    EXPECT_EQ(events[0].value, 1);
    EXPECT_EQ(events[1].kind, Kind::Close);
    EXPECT_EQ(events[1].value, 1);
    EXPECT_EQ(events[2].kind, Kind::Open);
    EXPECT_EQ(events[2].value, 1);
    for (const auto& event : events)
        EXPECT_NE(event.thread, std::this_thread::get_id()) << "notifications come from the reader thread";
    EXPECT_EQ(printed, "port open successfully\nport close successfully\nport open successfully\n");
    EXPECT_FALSE(HoldsDevice(folder.LinkPath(pair.comA))) << "destruction closes the port";
}

TEST_F(SerialIOTest, ReceivesEverythingInChunksOfAtMost300Bytes)
{
    RecordingSerialIO io(log);
    OpenProgramEnd(io);
    const std::string sent = RandomBytes(5000, 1);
    ASSERT_TRUE(user.Write(sent, kWaitMs));
    ASSERT_TRUE(log.WaitFor(
        [&](const auto& events) {
            size_t total = 0;
            for (const auto& event : events)
                total += event.data.size();
            return total >= sent.size();
        },
        kWaitMs));

    EXPECT_EQ(log.Received(), sent);
    for (const auto& event : log.Events()) {
        if (event.kind != Kind::Receive)
            continue;
        EXPECT_GT(event.value, 0);
        EXPECT_LE(event.value, 300);
        EXPECT_EQ(event.data.size(), static_cast<size_t>(event.value));
    }
}

TEST_F(SerialIOTest, WritesUpTo1024BytesAndRefusesMoreOrNothing)
{
    testing::internal::CaptureStdout();
    RecordingSerialIO io(log);
    OpenProgramEnd(io);

    const std::string full = RandomBytes(1024, 2);
    const std::string tooLong = RandomBytes(1025, 3);
    io.Write(full.data(), 1024);
    io.Write(tooLong.data(), 1025);
    // The refusal of an over-long write is immediate, on the calling thread.
    {
        const auto events = log.Events();
        const bool refusedHere = std::any_of(events.begin(), events.end(), [](const auto& event) {
            return event.kind == Kind::Send && event.value == -1 &&
                   event.thread == std::this_thread::get_id();
        });
        EXPECT_TRUE(refusedHere);
    }
    io.Write(tooLong.data(), 0);
    io.Write("END", 3);

    EXPECT_EQ(user.Read(1024 + 3, kWaitMs), full + "END") << "nothing of the refused writes arrives";
    ASSERT_TRUE(log.WaitFor([](const auto& e) { return HasSends(e, 4); }, kWaitMs));
    io.Close();
    ASSERT_TRUE(
        log.WaitFor([](const auto& e) { return SerialEventLog::Count(e, Kind::Close) == 1; }, kWaitMs));
    const std::string printed = testing::internal::GetCapturedStdout();

    // The reader thread reports the accepted and the empty write in the order made.
    std::vector<int> fromReader;
    for (const auto& event : log.Events()) {
        if (event.kind == Kind::Send && event.thread != std::this_thread::get_id())
            fromReader.push_back(event.value);
    }
    EXPECT_EQ(fromReader, (std::vector<int>{1024, -1, 3}));
    EXPECT_NE(printed.find("buffer over flow\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("1024 bytes send\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("write error\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("3 bytes send\n"), std::string::npos) << printed;
}

// Chunks of two writers: a writer letter, a 16-bit sequence number, then bytes that
// depend on all three, so a torn, lost, doubled or reordered chunk shows.
std::string Chunk(char writer, int sequence, size_t size)
{
    std::string chunk(size, '\0');
    chunk[0] = writer;
    chunk[1] = static_cast<char>(sequence >> 8);
    chunk[2] = static_cast<char>(sequence & 0xff);
    for (size_t i = 3; i < size; ++i)
        chunk[i] = static_cast<char>((writer * 31 + sequence * 7 + i) & 0xff);
    return chunk;
}

TEST_F(SerialIOTest, ConcurrentWritersNeverTearOrLoseAWrite)
{
    constexpr int kChunks = 150;
    constexpr size_t kSizeA = 1000;
    constexpr size_t kSizeB = 337;
    RecordingSerialIO io(log);
    OpenProgramEnd(io);

    std::atomic<bool> go{false};
    auto writer = [&](char letter, size_t size) {
        while (!go.load())
            std::this_thread::yield();
        for (int sequence = 0; sequence < kChunks; ++sequence) {
            const std::string chunk = Chunk(letter, sequence, size);
            io.Write(chunk.data(), static_cast<int>(chunk.size()));
        }
    };
    std::thread a(writer, 'A', kSizeA);
    std::thread b(writer, 'B', kSizeB);
    go = true;
    const size_t total = kChunks * (kSizeA + kSizeB);
    const std::string stream = user.Read(total, 30000);
    a.join();
    b.join();
    ASSERT_EQ(stream.size(), total);

    int next[2] = {0, 0};
    size_t pos = 0;
    while (pos < stream.size()) {
        const char letter = stream[pos];
        ASSERT_TRUE(letter == 'A' || letter == 'B') << "torn chunk at " << pos;
        const size_t size = letter == 'A' ? kSizeA : kSizeB;
        ASSERT_LE(pos + size, stream.size());
        int& expected = next[letter == 'A' ? 0 : 1];
        ASSERT_EQ(stream.compare(pos, size, Chunk(letter, expected, size)), 0)
            << "chunk " << letter << expected << " at " << pos;
        ++expected;
        pos += size;
    }
    EXPECT_EQ(next[0], kChunks);
    EXPECT_EQ(next[1], kChunks);
    ASSERT_TRUE(log.WaitFor([&](const auto& e) { return HasSends(e, 2 * kChunks); }, kWaitMs));
    for (const auto& event : log.Events()) {
        if (event.kind == Kind::Send) {
            EXPECT_TRUE(event.value == static_cast<int>(kSizeA) || event.value == static_cast<int>(kSizeB));
        }
    }
}

TEST_F(SerialIOTest, MissingPortGivesOnOpenZeroAndTheErrno)
{
    MessageBoxRecorder boxes;
    RecordingSerialIO io(log);
    // Nothing in the pair folder answers to COM200.
    io.Open(QStringLiteral("\\\\.\\COM200"), QStringLiteral("115200"), 8, 'N', 1);
    ASSERT_EQ(log.WaitForValue(Kind::Open, kWaitMs), 0);
    // A failed open is not retried, and closing a port that never opened is quiet.
    io.Close();
    ASSERT_TRUE(
        log.WaitFor([](const auto& e) { return SerialEventLog::Count(e, Kind::Close) == 1; }, kWaitMs));
    std::vector<SerialEventLog::Event> events = log.Events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].kind, Kind::Close);
    EXPECT_EQ(events[1].value, 0);

    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, QStringLiteral("port create failed%1").arg(ENOENT));
    EXPECT_EQ(boxes.Boxes()[0].caption, QStringLiteral("Lumetra"));
    EXPECT_EQ(boxes.Boxes()[0].style, MB_OK);

    // The next Open tries again.
    io.Open(TunnelPortName(pair.comA), QStringLiteral("115200"), 8, 'N', 1);
    ASSERT_TRUE(
        log.WaitFor([](const auto& e) { return SerialEventLog::Count(e, Kind::Open) == 2; }, kWaitMs));
    EXPECT_EQ(log.Events()[2].value, 1);
    EXPECT_EQ(boxes.Count(), 1u);
}

TEST_F(SerialIOTest, NonTerminalGivesTheConfigurationMessageWithTheErrno)
{
    MessageBoxRecorder boxes;
    RecordingSerialIO io(log);
    const std::string file = folder.MakeDir("plain") + "/not-a-port";
    const int fd = open(file.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    close(fd);
    io.Open(QString::fromStdString(file), QStringLiteral("115200"), 8, 'N', 1);
    ASSERT_EQ(log.WaitForValue(Kind::Open, kWaitMs), 0);
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, QStringLiteral("Get configuration port has problem.%1").arg(ENOTTY));
    EXPECT_FALSE(HoldsDevice(file)) << "the descriptor of the failed open is closed";
}

TEST_F(SerialIOTest, SecondOpenOfAnExclusivePortIsRefused)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root may open a port that another holds exclusively";
    MessageBoxRecorder boxes;
    RecordingSerialIO first(log);
    OpenProgramEnd(first);
    SerialEventLog secondLog;
    RecordingSerialIO second(secondLog);
    second.Open(TunnelPortName(pair.comA), QStringLiteral("115200"), 8, 'N', 1);
    ASSERT_EQ(secondLog.WaitForValue(Kind::Open, kWaitMs), 0);
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, QStringLiteral("port create failed%1").arg(EBUSY));
}

TEST_F(SerialIOTest, DestructionDuringTrafficClosesThePort)
{
    auto io = std::make_unique<RecordingSerialIO>(log);
    OpenProgramEnd(*io);
    std::atomic<bool> stop{false};
    std::thread sender([&] {
        const std::string burst = RandomBytes(256, 4);
        while (!stop.load())
            user.Write(burst, 1000);
    });
    const bool receiving =
        log.WaitFor([](const auto& e) { return SerialEventLog::Count(e, Kind::Receive) >= 5; }, kWaitMs);
    io->Write("x", 1);
    io.reset();
    stop = true;
    sender.join();
    ASSERT_TRUE(receiving);
    EXPECT_FALSE(HoldsDevice(folder.LinkPath(pair.comA))) << "destruction closed the port";
}

// Destroys the endpoint from inside the message box that its own reader thread asked
// for, as a UI that closes a tunnel while the open failure is still on screen would.
class DestroyingHandler : public MessageBoxHandler
{
public:
    std::unique_ptr<CSerialIO> endpoint;
    std::atomic<int> shown{0};
    QString text;

    int Show(MessageWindow*, const QString& boxText, const QString&, unsigned) override
    {
        text = boxText;
        endpoint.reset();
        ++shown;
        return IDOK;
    }
};

TEST_F(SerialIOTest, DestructionWhileTheReaderWaitsForAMessageBoxDoesNotHang)
{
    int argc = 1;
    char name[] = "test_serial";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    DestroyingHandler handler;
    MessageBoxHandler* previous = SetMessageBoxHandler(&handler);
    handler.endpoint = std::make_unique<RecordingSerialIO>(log);
    handler.endpoint->Open(QStringLiteral("COM201"), QStringLiteral("115200"), 8, 'N', 1);
    const bool shown = PumpUntil([&] { return handler.shown.load() == 1; }, kWaitMs);
    SetMessageBoxHandler(previous);

    ASSERT_TRUE(shown);
    EXPECT_EQ(handler.text, QStringLiteral("port create failed%1").arg(ENOENT));
    EXPECT_EQ(handler.endpoint, nullptr);
    EXPECT_EQ(SerialEventLog::Count(log.Events(), Kind::Open), 0u)
        << "the failed open is not reported to an endpoint that is gone";
}

// A tunnel stand-in that keeps what its endpoint hands it.
class RecordingTunnel : public SerialOwner
{
public:
    explicit RecordingTunnel(SerialEventLog& log) : m_log(log) {}
    void OnSerialData(const char* data, int count) override { m_log.Add(Kind::Receive, count, data, count); }

private:
    SerialEventLog& m_log;
};

TEST_F(SerialIOTest, ComTransparentCarriesBytesBothWaysAndPrintsNothing)
{
    RecordingTunnel tunnel(log);
    testing::internal::CaptureStdout();
    {
        ComTransparent endpoint(&tunnel);
        EXPECT_EQ(endpoint.Tunnel(), &tunnel);
        endpoint.Open(TunnelPortName(pair.comA), QStringLiteral("9600"), 8, 'N', 1);
        const std::string toDevice = RandomBytes(700, 5);
        // The open is silent, so the first bytes that arrive show that it worked.
        for (size_t pos = 0; pos < toDevice.size(); pos += 350)
            endpoint.Write(toDevice.data() + pos, 350);
        EXPECT_EQ(user.Read(toDevice.size(), kWaitMs), toDevice);

        const std::string fromApp = RandomBytes(1500, 6);
        ASSERT_TRUE(user.Write(fromApp, kWaitMs));
        ASSERT_TRUE(log.WaitFor(
            [&](const auto& events) {
                size_t total = 0;
                for (const auto& event : events)
                    total += event.data.size();
                return total >= fromApp.size();
            },
            kWaitMs));
        EXPECT_EQ(log.Received(), fromApp);

        endpoint.Write(toDevice.data(), 1025);
        endpoint.Close();
    }
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, "buffer over flow\n") << "only the refusal in Write itself prints";
}

} // namespace
