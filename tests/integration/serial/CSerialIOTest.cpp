// Serial endpoints over real virtual COM pairs (see SerialPairTest.h).

#include "SerialPairTest.h"

#include "platform/MessageBox.h"
#include "support/MessageBoxRecorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <memory>
#include <thread>

namespace {

using Kind = SerialEventLog::Kind;
using SerialIOTest = SerialPairTest;
constexpr int kWaitMs = kSerialWaitMs;

// Writes refused at once, on the writing thread (this test's).
size_t Refusals(const SerialEventLog::Events& events)
{
    return static_cast<size_t>(std::count_if(events.begin(), events.end(), [](const auto& event) {
        return event.kind == Kind::Send && event.value == -1 && event.thread == std::this_thread::get_id();
    }));
}

TEST_F(SerialIOTest, OpensReceivesInChunksOfAtMost300BytesAndCloses)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    {
        RecordingSerialIO io(log);
        OpenProgramEnd(io);
        EXPECT_TRUE(HoldsDevice(folder.LinkPath(pair.comA)));
        const std::string sent = RandomBytes(5000, 1);
        ASSERT_TRUE(user.Write(sent, kWaitMs));
        ASSERT_TRUE(
            log.WaitFor([&](const auto& e) { return SerialEventLog::Received(e).size() >= sent.size(); }));
        EXPECT_EQ(SerialEventLog::Received(log.Get()), sent);
        io.Close();
        ASSERT_TRUE(log.WaitForCount(Kind::Close, 1));
        EXPECT_FALSE(HoldsDevice(folder.LinkPath(pair.comA))) << "the port is closed after OnClose";
        // The other spelling of the name opens the same port again.
        io.Open(QStringLiteral("\\\\.\\COM%1").arg(pair.comA), QStringLiteral("115200"), 8, 'N', 1);
        ASSERT_TRUE(log.WaitForCount(Kind::Open, 2));
    }
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "the texts are diagnostics, on standard error";
    EXPECT_FALSE(HoldsDevice(folder.LinkPath(pair.comA))) << "destruction closes the port";

    std::string kinds;
    for (const auto& event : log.Get()) {
        EXPECT_NE(event.thread, std::this_thread::get_id()) << "notifications come from the reader thread";
        if (event.kind == Kind::Receive) {
            EXPECT_GT(event.value, 0);
            EXPECT_LE(event.value, 300);
            EXPECT_EQ(event.data.size(), static_cast<size_t>(event.value));
            continue;
        }
        EXPECT_EQ(event.value, 1);
        kinds += event.kind == Kind::Open ? "O" : "C";
    }
    EXPECT_EQ(kinds, "OCO");
    EXPECT_EQ(printed, "port open successfully\nport close successfully\nport open successfully\n");
}

TEST_F(SerialIOTest, WritesUpTo1024BytesAndRefusesMoreOrNothing)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    RecordingSerialIO io(log);
    OpenProgramEnd(io);

    const std::string full = RandomBytes(1024, 2);
    const std::string tooLong = RandomBytes(1025, 3);
    io.Write(full.data(), 1024);
    io.Write(tooLong.data(), 1025);
    // The refusal of an over-long write is immediate, on the calling thread.
    EXPECT_EQ(Refusals(log.Get()), 1u);
    io.Write(tooLong.data(), 0);
    io.Write("END", 3);

    EXPECT_EQ(user.Read(1024 + 3, kWaitMs), full + "END") << "nothing of the refused writes arrives";
    ASSERT_TRUE(log.WaitForCount(Kind::Send, 4));
    io.Close();
    ASSERT_TRUE(log.WaitForCount(Kind::Close, 1));
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    // The reader thread reports the accepted and the empty write in the order made.
    std::vector<int> fromReader;
    for (const auto& event : log.Get()) {
        if (event.kind == Kind::Send && event.thread != std::this_thread::get_id())
            fromReader.push_back(event.value);
    }
    EXPECT_EQ(fromReader, (std::vector<int>{1024, -1, 3}));
    for (const char* line : {"buffer over flow\n", "1024 bytes send\n", "write error\n", "3 bytes send\n"})
        EXPECT_NE(printed.find(line), std::string::npos) << line << printed;
}

size_t LinesHolding(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find('\n', at), text.size());
        count += text.substr(at, end - at).find(part) != std::string::npos ? 1 : 0;
        at = end + 1;
    }
    return count;
}

TEST_F(SerialIOTest, OverflowQueuesAtMost1024WritesThenDropsUntilDrainedWithOneLineOnStandardError)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    {
        WatchedSerialIO io(log);
        OpenProgramEnd(io);
        int sequence = 0;
        for (int episode = 1; episode <= 2; ++episode) {
            std::string kept;
            auto write = [&](bool keep) {
                const std::string chunk = Chunk('S', sequence++, CSerialIO::kSendLimit);
                io.Write(chunk.data(), static_cast<int>(chunk.size()));
                if (keep)
                    kept += chunk;
            };
            // The reader stops after the first write; then the queue fills.
            io.HoldNextSend();
            write(true);
            ASSERT_TRUE(io.WaitUntilHeld());
            const size_t before = Refusals(log.Get());
            for (int i = 0; i < CSerialIO::kMaxQueuedWrites; ++i)
                write(true);
            EXPECT_EQ(Refusals(log.Get()), before) << "a queue with room takes every write";
            // Everything beyond is dropped, each write told at once on its own thread.
            for (int i = 0; i < 3000; ++i)
                write(false);
            EXPECT_EQ(Refusals(log.Get()), before + 3000);
            io.Release();
            // The queue drains in order; the overflow is over once it has.
            ASSERT_EQ(user.Read(kept.size(), 30000), kept) << "episode " << episode;
            ASSERT_TRUE(log.WaitFor([&](const SerialEventLog::Events& events) {
                return SerialEventLog::Count(events, Kind::Send) - Refusals(events) ==
                       static_cast<size_t>(episode * (CSerialIO::kMaxQueuedWrites + 1));
            }));
        }
        const std::string after = "taken again";
        io.Write(after.data(), static_cast<int>(after.size()));
        EXPECT_EQ(user.Read(after.size(), kWaitMs), after);
    }
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    // One line per overflow, not one per dropped write.
    EXPECT_EQ(LinesHolding(printed, "buffer over flow"), 2u) << printed.substr(0, 2000);
    EXPECT_EQ(LinesHolding(printed, " has 1024 writes waiting; what comes until they are written is dropped"),
              2u)
        << printed.substr(0, 2000);
}

TEST_F(SerialIOTest, AWatchedQueueTellsOnceOfItsDrain)
{
    testing::internal::CaptureStderr();
    {
        WatchedSerialIO io(log);
        OpenProgramEnd(io);
        EXPECT_FALSE(io.NotifyWhenDrained()) << "an empty queue has drained already";
        std::string kept;
        io.HoldNextSend();
        for (int i = 0; i <= CSerialIO::kHoldWrites; ++i) {
            kept += Chunk('F', i, CSerialIO::kSendLimit);
            io.Write(kept.data() + kept.size() - CSerialIO::kSendLimit, CSerialIO::kSendLimit);
            if (i == 0) {
                ASSERT_TRUE(io.WaitUntilHeld());
            }
        }
        EXPECT_EQ(io.WritesWaiting(), CSerialIO::kHoldWrites);
        EXPECT_TRUE(io.NotifyWhenDrained());
        io.Release();
        // The notice comes while the rest is written, once.
        ASSERT_EQ(user.Read(kept.size(), 30000), kept);
        EXPECT_EQ(io.drained.load(), 1);
        EXPECT_EQ(io.WritesWaiting(), 0);
    }
    testing::internal::GetCapturedStderr();
}

TEST_F(SerialIOTest, MissingPortGivesOnOpenZeroAndTheErrno)
{
    MessageBoxRecorder boxes;
    RecordingSerialIO io(log);
    // Nothing in the pair folder answers to COM200.
    io.Open(QStringLiteral("\\\\.\\COM200"), QStringLiteral("115200"), 8, 'N', 1);
    ASSERT_EQ(log.OpenResult(), 0);
    // A failed open is not retried, and closing a port that never opened is quiet.
    io.Close();
    ASSERT_TRUE(log.WaitForCount(Kind::Close, 1));
    ASSERT_EQ(log.Get().size(), 2u);
    EXPECT_EQ(log.Get()[1].value, 0);
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, QStringLiteral("port create failed%1").arg(ENOENT));
    EXPECT_EQ(boxes.Boxes()[0].caption, QStringLiteral("Lumetra"));
    EXPECT_EQ(boxes.Boxes()[0].style, platform::kMbOk);

    // The next Open tries again.
    io.Open(QStringLiteral("COM%1").arg(pair.comA), QStringLiteral("115200"), 8, 'N', 1);
    ASSERT_TRUE(log.WaitForCount(Kind::Open, 2));
    EXPECT_EQ(log.Get()[2].value, 1);
    EXPECT_EQ(boxes.Count(), 1u);
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
    const bool receiving = log.WaitForCount(Kind::Receive, 5);
    io->Write("x", 1);
    io.reset();
    stop = true;
    sender.join();
    ASSERT_TRUE(receiving);
    EXPECT_FALSE(HoldsDevice(folder.LinkPath(pair.comA))) << "destruction closed the port";
}

} // namespace
