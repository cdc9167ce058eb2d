// The serial endpoint's reader thread sleeps until there is work, watched through /proc.

#include "SerialPairTest.h"
#include "support/ResourceUse.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <future>
#include <memory>
#include <thread>
#include <unistd.h>

namespace {

using Kind = SerialEventLog::Kind;

// Deadlines for what a wake must bring about: well inside the reader's longest sleep,
// so a missing wake shows, yet far beyond any scheduling delay.
constexpr int kWakeDeadlineMs = CSerialIO::kIdleWaitMs / 2;
// How long the tests watch an endpoint that has nothing to do.
constexpr int kQuietMs = 1000;

// Waits (bounded) until thread `tid` sleeps: the reader waiting for work.
bool WaitUntilAsleep(pid_t tid)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kSerialWaitMs);
    while (ResourceUse::ThreadState(tid) != 'S') {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::yield();
    }
    return true;
}

class SerialReaderWaitTest : public SerialPairTest
{
protected:
    void SetUp() override
    {
        SerialPairTest::SetUp();
        testing::internal::CaptureStderr(); // the base class prints every outcome
    }
    void TearDown() override { testing::internal::GetCapturedStderr(); }
};

TEST_F(SerialReaderWaitTest, AnOpenPortWithoutTrafficCostsTheReaderNoProcessorTime)
{
    WatchedSerialIO io(log);
    OpenProgramEnd(io);
    const pid_t tid = io.readerTid;
    ASSERT_TRUE(WaitUntilAsleep(tid)) << "the reader never sleeps";
    const long ticks = ResourceUse::ThreadCpuTicks(tid);
    const long sleeps = ResourceUse::ThreadSleeps(tid);
    ASSERT_GE(ticks, 0);
    ASSERT_GE(sleeps, 0);

    // A second with nothing to read and nothing to write.
    EXPECT_TRUE(user.Silent(kQuietMs));
    EXPECT_LE(ResourceUse::ThreadCpuTicks(tid) - ticks, 2) << "processor time of an idle reader";
    // A reader that made passes on a clock would have slept once a pass.
    EXPECT_LE(ResourceUse::ThreadSleeps(tid) - sleeps, kQuietMs / CSerialIO::kIdleWaitMs + 3);
    EXPECT_EQ(SerialEventLog::Count(log.Get(), Kind::Receive), 0u);

    // Still awake to bytes.
    ASSERT_TRUE(user.Write("ping", kSerialWaitMs));
    EXPECT_TRUE(log.WaitFor([](const auto& events) { return SerialEventLog::Received(events) == "ping"; }));
}

TEST_F(SerialReaderWaitTest, AWriteACloseAndTheDestructorWakeASleepingReader)
{
    auto io = std::make_unique<WatchedSerialIO>(log);
    OpenProgramEnd(*io);
    const pid_t tid = io->readerTid;

    ASSERT_TRUE(WaitUntilAsleep(tid)) << "the reader never sleeps";
    io->Write("now", 3);
    EXPECT_EQ(user.Read(3, kWakeDeadlineMs), "now") << "a write into an empty queue goes out at once";

    // A close while the reader waits for bytes.
    ASSERT_TRUE(WaitUntilAsleep(tid)) << "the reader never sleeps";
    io->Close();
    ASSERT_TRUE(log.WaitForCount(Kind::Close, 1, kWakeDeadlineMs));
    EXPECT_EQ(log.Get().back().value, 1);
    EXPECT_FALSE(HoldsDevice(folder.LinkPath(pair.comA)));

    // Opened again: the destructor ends a sleeping reader at once.
    io->Open(QStringLiteral("COM%1").arg(pair.comA), QStringLiteral("9600"), 8, 'N', 1);
    ASSERT_TRUE(log.WaitForCount(Kind::Open, 2, kWakeDeadlineMs));
    ASSERT_TRUE(WaitUntilAsleep(tid)) << "the reader never sleeps";
    std::future<void> destroyed = std::async(std::launch::async, [&] { io.reset(); });
    ASSERT_EQ(destroyed.wait_for(std::chrono::milliseconds(kWakeDeadlineMs)), std::future_status::ready);
    EXPECT_FALSE(HoldsDevice(folder.LinkPath(pair.comA)));
}

TEST_F(SerialReaderWaitTest, AMebibyteEachWayArrivesWholeAndInOrderUnderConcurrentWriters)
{
    constexpr size_t kTotal = 1024 * 1024;
    const size_t sizes[2] = {1024, 512};
    WatchedSerialIO io(log);
    OpenProgramEnd(io);

    // The user's application writes a mebibyte while two threads write one to it.
    const std::string fromUser = RandomBytes(kTotal, 7);
    std::future<bool> userSent = std::async(std::launch::async, [&] { return user.Write(fromUser, 60000); });
    std::atomic<bool> refused{false};
    auto writer = [&](int w) {
        const int chunks = static_cast<int>(kTotal / 2 / sizes[w]);
        for (int sequence = 0; sequence < chunks && !refused; ++sequence) {
            if (!io.PacedWrite(Chunk(static_cast<char>('A' + w), sequence, sizes[w]), kSerialWaitMs))
                refused = true;
        }
    };
    std::thread a(writer, 0);
    std::thread b(writer, 1);
    const std::string toUser = user.Read(kTotal, 60000);
    a.join();
    b.join();
    ASSERT_FALSE(refused) << "a paced write was refused";
    ASSERT_TRUE(userSent.get());
    ASSERT_TRUE(log.WaitFor(
        [&](const auto& events) { return SerialEventLog::Received(events).size() >= kTotal; }, 60000));

    // To the port: each writer's chunks whole and in its order.
    ASSERT_EQ(toUser.size(), kTotal);
    int next[2] = {0, 0};
    for (size_t pos = 0; pos < toUser.size();) {
        const int w = toUser[pos] - 'A';
        ASSERT_TRUE(w == 0 || w == 1) << "torn chunk at " << pos;
        ASSERT_EQ(toUser.compare(pos, sizes[w], Chunk(toUser[pos], next[w], sizes[w])), 0)
            << "chunk " << toUser[pos] << next[w] << " at " << pos;
        pos += sizes[w];
        ++next[w];
    }
    EXPECT_EQ(next[0], static_cast<int>(kTotal / 2 / sizes[0]));
    EXPECT_EQ(next[1], static_cast<int>(kTotal / 2 / sizes[1]));

    // From the port: every byte once, in order, at most 300 bytes a notification;
    // every write reported whole.
    const SerialEventLog::Events events = log.Get();
    EXPECT_TRUE(SerialEventLog::Received(events) == fromUser) << "the bytes from the port differ";
    for (const auto& event : events) {
        if (event.kind == Kind::Receive) {
            ASSERT_LE(event.value, CSerialIO::kReadChunk);
        } else if (event.kind == Kind::Send) {
            ASSERT_TRUE(event.value == 1024 || event.value == 512) << event.value;
        }
    }
    EXPECT_EQ(SerialEventLog::Count(events, Kind::Send), kTotal / 2 / sizes[0] + kTotal / 2 / sizes[1]);
}

TEST_F(SerialReaderWaitTest, HeldReadingLeavesBytesOnThePortWithoutSpinningUntilResumed)
{
    WatchedSerialIO io(log);
    OpenProgramEnd(io);
    const pid_t tid = io.readerTid;
    io.wanted = false;
    ASSERT_TRUE(user.Write("held", kSerialWaitMs));
    ASSERT_TRUE(WaitUntilAsleep(tid)) << "the reader never sleeps";
    const int asks = io.asks;
    const long sleeps = ResourceUse::ThreadSleeps(tid);

    // Bytes wait on the port for a second: the reader asks now and then, no more.
    EXPECT_FALSE(log.WaitForCount(Kind::Receive, 1, kQuietMs)) << "read while held";
    const int bound = 2 * kQuietMs / CSerialIO::kHeldReadWaitMs + 5;
    EXPECT_GE(io.asks - asks, 1);
    EXPECT_LE(io.asks - asks, bound);
    EXPECT_LE(ResourceUse::ThreadSleeps(tid) - sleeps, bound);

    io.wanted = true;
    io.ResumeReading();
    EXPECT_TRUE(log.WaitFor([](const auto& events) { return SerialEventLog::Received(events) == "held"; }));
}

TEST_F(SerialReaderWaitTest, APortWhosePeerHungUpDoesNotSpinTheReaderAndStillCloses)
{
    // A bare pty: the endpoint opens its terminal end by path, then the test closes
    // the other end, so the port reports a hang-up from then on.
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    char name[128];
    ASSERT_TRUE(grantpt(master) == 0 && unlockpt(master) == 0 && ptsname_r(master, name, sizeof name) == 0);
    WatchedSerialIO io(log);
    io.Open(QString::fromUtf8(name), QStringLiteral("9600"), 8, 'N', 1);
    ASSERT_EQ(log.OpenResult(), 1);
    const pid_t tid = io.readerTid;
    ASSERT_EQ(write(master, "last", 4), 4);
    ASSERT_TRUE(log.WaitFor([](const auto& events) { return SerialEventLog::Received(events) == "last"; }));
    close(master);

    ASSERT_TRUE(WaitUntilAsleep(tid)) << "the reader never sleeps";
    const long ticks = ResourceUse::ThreadCpuTicks(tid);
    const long sleeps = ResourceUse::ThreadSleeps(tid);
    const int asks = io.asks;
    EXPECT_FALSE(log.WaitForCount(Kind::Close, 1, kQuietMs));
    EXPECT_LE(ResourceUse::ThreadCpuTicks(tid) - ticks, 2);
    EXPECT_LE(ResourceUse::ThreadSleeps(tid) - sleeps, 2 * kQuietMs / CSerialIO::kHangUpPauseMs + 5);
    EXPECT_GE(io.asks - asks, 1) << "the port is tried again after each pause";

    io.Close();
    ASSERT_TRUE(log.WaitForCount(Kind::Close, 1, kWakeDeadlineMs));
    EXPECT_EQ(log.Get().back().value, 1);
}

} // namespace
