// The tunnels' client sockets and the management connection against a real peer on
// loopback: chunking, close after drain, TCP_NODELAY, sends from other threads.

#include "SocketFakes.h"

#include "endpoint/CVpnStatusSocket.h"
#include "endpoint/RelaySocket.h"
#include "support/ProgramRun.h"
#include "support/PumpUntil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <thread>

namespace {

QByteArray Pattern(int size)
{
    QByteArray bytes(size, '\0');
    uint32_t state = 0x12345678u + static_cast<uint32_t>(size);
    for (int i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = static_cast<char>(state >> 24);
    }
    return bytes;
}

class RelaySocketTest : public ::testing::Test
{
protected:
    // The application (whose thread is the UI thread) comes before the members.
    static void SetUpTestSuite() { ProgramRun::EnsureApplication(); }
    void SetUp() override
    {
        ASSERT_TRUE(socket_.Create());
        ASSERT_TRUE(socket_.Connect("127.0.0.1", peer_.Port()));
        ASSERT_TRUE(PumpUntil([&] { return peer_.connection != nullptr; }));
    }

    LoopbackPeer peer_;
    RecordingOwner owner_;
    RelaySocket socket_{&owner_};
};

TEST_F(RelaySocketTest, BurstsArriveWholeInChunksOfAtMost1024BytesAndCloseComesAfterThem)
{
    int value = 0;
    socklen_t length = sizeof value;
    ASSERT_EQ(getsockopt(static_cast<int>(socket_.NativeHandle()), IPPROTO_TCP, TCP_NODELAY, &value, &length),
              0);
    EXPECT_NE(value, 0) << "Nagle left on";

    QByteArray expected;
    for (int size : {3000, 250000}) {
        const size_t before = owner_.chunks.size();
        expected += Pattern(size);
        peer_.Write(Pattern(size));
        ASSERT_TRUE(PumpUntil([&] { return owner_.all.size() >= expected.size(); }))
            << size << ": stalled after " << owner_.all.size() << " bytes";
        EXPECT_GE(owner_.chunks.size() - before, static_cast<size_t>((size + 1023) / 1024));
    }
    for (const RecordingOwner::Chunk& chunk : owner_.chunks) {
        EXPECT_TRUE(chunk.bytes.size() >= 1 && chunk.bytes.size() <= 1024) << chunk.bytes.size();
        EXPECT_TRUE(chunk.onUiThread);
    }
    EXPECT_EQ(socket_.ConnectedFlag(), 1);

    // The peer_ closes right after more bytes: the flag drops only once all were handed on.
    peer_.Write(Pattern(5000));
    expected += Pattern(5000);
    peer_.connection->disconnectFromHost();
    ASSERT_TRUE(PumpUntil([&] { return socket_.ConnectedFlag() == 0; }));
    EXPECT_TRUE(owner_.all == expected);
    EXPECT_FALSE(socket_.IsConnected());
    EXPECT_EQ(socket_.Send("x", 1, 0), SOCKET_ERROR);
}

TEST_F(RelaySocketTest, SendsFromAnotherThreadArriveWholeAndInOrder)
{
    constexpr int kMessages = 3000;
    auto message = [](char tag, int i) { return tag + QByteArray::number(i) + ';'; };
    QByteArray expected;
    std::atomic<int> refused{0};
    std::atomic<bool> done{false};
    auto writer = [&](char tag) {
        for (int i = 0; i < kMessages; ++i) {
            const QByteArray bytes = message(tag, i);
            refused += socket_.Send(bytes.constData(), bytes.size(), 0) != bytes.size();
            expected += bytes;
        }
        done = true;
    };
    // First while the UI thread does not pump: a later Send on the UI thread must
    // still come after everything the writer handed over.
    std::thread(writer, 'a').join();
    ASSERT_EQ(socket_.Send("END", 3, 0), 3);
    expected += "END";
    // Then while the UI thread pumps and handles the peer's traffic (`expected` is
    // the writer's until it is done).
    done = false;
    std::thread pumped(writer, 'b');
    peer_.Write(Pattern(4000));
    const bool finished = PumpUntil([&] { return done.load(); });
    pumped.join();
    ASSERT_TRUE(finished);
    EXPECT_EQ(refused.load(), 0);
    ASSERT_TRUE(
        PumpUntil([&] { return peer_.received.size() >= expected.size() && owner_.all.size() >= 4000; }));
    EXPECT_TRUE(peer_.received == expected);
    EXPECT_TRUE(owner_.all == Pattern(4000));
}

TEST(VpnStatusSocket, AsksForStateReportsOnlyAndTurnsThemIntoLinkMessages)
{
    ProgramRun::EnsureApplication();
    LoopbackPeer server;
    RecordingWindow view;
    CVpnStatusSocket status;
    ASSERT_TRUE(status.Create());
    ASSERT_TRUE(status.Connect("127.0.0.1", server.Port()));
    status.StartReports(&view);
    ASSERT_TRUE(PumpUntil([&] { return server.received.size() >= 9; }));
    // Greeting and command answer carry no comma and say nothing.
    server.Write(">INFO:OpenVPN Management Interface Version 5 -- type 'help' for more info\r\n"
                 "SUCCESS: real-time state notification set to ON\r\n"
                 ">STATE:1700000000,CONNECTED,SUCCESS,10.8.0.6,127.0.0.1,1194,,\r\n"
                 ">STATE:1700000050,RECONNECTING,ping-restart,,,,,\r\n");
    ASSERT_TRUE(PumpUntil([&] { return view.Count() >= 2; }));
    status.Close();
    PumpUntil([] { return false; }, 100);
    EXPECT_EQ(server.received, QByteArray("state on\n"));
    const std::vector<RecordingWindow::Entry> entries = view.Entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].msg, static_cast<platform::MsgCode>(platform::kWmUser + 1020));
    EXPECT_EQ(entries[1].msg, static_cast<platform::MsgCode>(WM_VPN_LINK_DOWN));
    EXPECT_EQ(entries[0].wParam + entries[1].wParam, 0u);
}

} // namespace
