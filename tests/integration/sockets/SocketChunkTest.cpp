// Client sockets of the tunnels against a real peer on loopback: chunking and
// re-notification, close after drain, TCP_NODELAY, cross-thread sends, blocking
// request/reply.

#include "LoopbackPeer.h"
#include "RecordingOwner.h"

#include "endpoint/CComPFSocketSocket.h"
#include "endpoint/CNetPFSocketSocket.h"
#include "endpoint/CPortForwardSocketSocket.h"
#include "support/FreePort.h"
#include "support/PumpUntil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
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

bool NoDelayOn(intptr_t fd)
{
    int value = 0;
    socklen_t length = sizeof value;
    return fd >= 0 && getsockopt(static_cast<int>(fd), IPPROTO_TCP, TCP_NODELAY, &value, &length) == 0 &&
           value != 0;
}

// A relay-side socket of one class with its ConnectedFlag, made for an owner.
struct RelaySocket
{
    std::unique_ptr<CSocket> socket;
    std::function<int()> connectedFlag;
};

using RelayFactory = std::function<RelaySocket(RecordingOwner*)>;

template <typename Socket> RelayFactory FactoryOf()
{
    return [](RecordingOwner* owner) {
        auto* socket = new Socket(owner);
        return RelaySocket{std::unique_ptr<CSocket>(socket), [socket]() { return socket->ConnectedFlag(); }};
    };
}

struct RelayCase
{
    const char* name;
    RelayFactory make;
};

class RelaySocketTest : public ::testing::TestWithParam<RelayCase>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(peer_.IsListening());
        relay_ = GetParam().make(&owner_);
        ASSERT_TRUE(relay_.socket->Create());
        ASSERT_TRUE(relay_.socket->Connect("127.0.0.1", peer_.Port()));
        ASSERT_TRUE(PumpUntil([&] { return peer_.HasConnection(); }));
    }

    LoopbackPeer peer_;
    RecordingOwner owner_;
    RelaySocket relay_;
};

TEST_P(RelaySocketTest, BurstArrivesInOrderAsChunksOfAtMost1024Bytes)
{
    for (int size : {3000, 1024, 1, 250000}) {
        SCOPED_TRACE(size);
        const size_t before = owner_.Chunks().size();
        const size_t bytesBefore = owner_.ByteCount();
        const QByteArray burst = Pattern(size);
        peer_.Write(burst);
        ASSERT_TRUE(PumpUntil([&] { return owner_.ByteCount() >= bytesBefore + static_cast<size_t>(size); }))
            << "stalled after " << owner_.ByteCount() - bytesBefore << " bytes";

        QByteArray arrived;
        for (size_t i = before; i < owner_.Chunks().size(); ++i) {
            const RecordingOwner::Chunk& chunk = owner_.Chunks()[i];
            EXPECT_GE(chunk.bytes.size(), 1);
            EXPECT_LE(chunk.bytes.size(), 1024);
            EXPECT_TRUE(chunk.onUiThread);
            arrived += chunk.bytes;
        }
        EXPECT_EQ(arrived, burst);
        EXPECT_GE(owner_.Chunks().size() - before, static_cast<size_t>((size + 1023) / 1024));
    }
    EXPECT_EQ(relay_.connectedFlag(), 1);
}

TEST_P(RelaySocketTest, PeerCloseClearsConnectedFlagOnlyAfterEverythingWasHandedOn)
{
    const QByteArray burst = Pattern(5000);
    peer_.Write(burst);
    peer_.CloseConnection();
    ASSERT_TRUE(PumpUntil([&] { return relay_.connectedFlag() == 0; }));
    EXPECT_EQ(owner_.AllBytes(), burst);
    EXPECT_FALSE(relay_.socket->IsConnected());
    EXPECT_EQ(relay_.socket->Send("x", 1, 0), SOCKET_ERROR);
}

TEST_P(RelaySocketTest, ConnectionHasNagleOff)
{
    EXPECT_TRUE(NoDelayOn(relay_.socket->NativeHandle()));
}

TEST_P(RelaySocketTest, SendsFromAnotherThreadArriveWholeAndInOrder)
{
    // The writer thread runs while the UI thread does not pump, so its bytes wait
    // in the hand-over; a later Send on the UI thread must come after all of them.
    QByteArray expected;
    constexpr int kMessages = 3000;
    for (int i = 0; i < kMessages; ++i) {
        expected += QByteArray::number(i) + ';';
    }
    std::atomic<int> refused{0};
    std::thread writer([&] {
        for (int i = 0; i < kMessages; ++i) {
            const QByteArray message = QByteArray::number(i) + ';';
            if (relay_.socket->Send(message.constData(), message.size(), 0) != message.size()) {
                ++refused;
            }
        }
    });
    writer.join();
    EXPECT_EQ(refused.load(), 0);
    ASSERT_EQ(relay_.socket->Send("END", 3, 0), 3);
    expected += "END";
    ASSERT_TRUE(PumpUntil([&] { return peer_.Received().size() >= expected.size(); }));
    EXPECT_EQ(peer_.Received(), expected);

    // And while the UI thread is pumping, interleaved with the peer's traffic.
    std::atomic<bool> done{false};
    QByteArray second;
    for (int i = 0; i < kMessages; ++i) {
        second += 'b' + QByteArray::number(i);
    }
    std::thread pumpedWriter([&] {
        for (int i = 0; i < kMessages; ++i) {
            const QByteArray message = 'b' + QByteArray::number(i);
            relay_.socket->Send(message.constData(), message.size(), 0);
        }
        done = true;
    });
    peer_.Write(Pattern(4000));
    const bool finished = PumpUntil([&] { return done.load(); });
    pumpedWriter.join();
    ASSERT_TRUE(finished);
    ASSERT_TRUE(PumpUntil([&] { return peer_.Received().size() >= expected.size() + second.size(); }));
    EXPECT_EQ(peer_.Received().mid(expected.size()), second);
    ASSERT_TRUE(PumpUntil([&] { return owner_.ByteCount() >= 4000; }));
    EXPECT_EQ(owner_.AllBytes(), Pattern(4000));
}

INSTANTIATE_TEST_SUITE_P(
    RelaySockets, RelaySocketTest,
    ::testing::Values(RelayCase{"CNetPFSocketSocket", FactoryOf<CNetPFSocketSocket>()},
                      RelayCase{"CComPFSocketSocket", FactoryOf<CComPFSocketSocket>()},
                      RelayCase{"CPortForwardSocketSocket", FactoryOf<CPortForwardSocketSocket>()}),
    [](const ::testing::TestParamInfo<RelayCase>& info) { return std::string(info.param.name); });

TEST(PortTransferSocket, BlockingRequestAndReply)
{
    LoopbackPeer peer;
    ASSERT_TRUE(peer.IsListening());
    const QByteArray request = QByteArray("zelq\x05\x00{\"a\"}", 11);
    const QByteArray reply = "{\"flag\":1}";
    peer.OnData([&] {
        if (peer.Received() == request) {
            peer.Write(reply);
        }
    });

    CPortForwardSocketSocket probe;
    EXPECT_EQ(probe.ConnectedFlag(), 1);
    ASSERT_TRUE(probe.Create());
    ASSERT_TRUE(probe.Connect("127.0.0.1", peer.Port()));
    ASSERT_EQ(probe.Send(request.constData(), request.size(), 0), request.size());

    // Receive blocks (pumping the event loop) until the reply is there.
    QByteArray got;
    while (got.size() < reply.size()) {
        char buffer[1024];
        const int count = probe.Receive(buffer, sizeof buffer, 0);
        ASSERT_GT(count, 0) << "error " << probe.GetLastError();
        got.append(buffer, count);
    }
    EXPECT_EQ(got, reply);

    // Close flushes what was sent and the peer sees the end of the connection.
    ASSERT_EQ(probe.Send("tail", 4, 0), 4);
    probe.Close();
    ASSERT_TRUE(PumpUntil([&] { return peer.PeerClosed(); }));
    EXPECT_EQ(peer.Received(), request + "tail");
}

TEST(PortTransferSocket, WithoutOwnerDropsWhatArrives)
{
    LoopbackPeer peer;
    CPortForwardSocketSocket probe;
    ASSERT_TRUE(probe.Create());
    ASSERT_TRUE(probe.Connect("127.0.0.1", peer.Port()));
    ASSERT_TRUE(PumpUntil([&] { return peer.HasConnection(); }));
    peer.Write(Pattern(3000));
    peer.CloseConnection();
    // The close is reported only once every byte was read, so the flag dropping
    // shows the unowned socket kept reading.
    ASSERT_TRUE(PumpUntil([&] { return probe.ConnectedFlag() == 0; }));
    EXPECT_TRUE(probe.HasEnded());
}

TEST(PortTransferSocket, ConnectFailures)
{
    const int port = FreePort::Pick();
    ASSERT_GT(port, 0);
    CPortForwardSocketSocket probe;
    EXPECT_FALSE(probe.Connect("127.0.0.1", static_cast<uint16_t>(port))) << "not created yet";
    ASSERT_TRUE(probe.Create());
    EXPECT_FALSE(probe.Create());
    EXPECT_FALSE(probe.Connect("127.0.0.1", static_cast<uint16_t>(port)));
    EXPECT_EQ(probe.GetLastError(), ECONNREFUSED);
    EXPECT_EQ(probe.Send("x", 1, 0), SOCKET_ERROR);
    char buffer[16];
    EXPECT_EQ(probe.Receive(buffer, sizeof buffer, 0), SOCKET_ERROR);
    EXPECT_EQ(probe.Receive(nullptr, 16, 0), SOCKET_ERROR);
    EXPECT_EQ(probe.Send(nullptr, 5, 0), SOCKET_ERROR);
}

TEST(PortTransferSocket, SocketCanBeDeletedFromItsOwnNotification)
{
    // An owner that closes and deletes the connection from inside its data callback,
    // while more notifications for it are queued.
    struct DeletingOwner : ComWriteOwner
    {
        std::unique_ptr<CComPFSocketSocket> socket;
        int calls = 0;
        void WriteToCom(const unsigned char*, int) override
        {
            ++calls;
            socket.reset();
        }
    } owner;
    LoopbackPeer peer;
    owner.socket = std::make_unique<CComPFSocketSocket>(&owner);
    ASSERT_TRUE(owner.socket->Create());
    ASSERT_TRUE(owner.socket->Connect("127.0.0.1", peer.Port()));
    ASSERT_TRUE(PumpUntil([&] { return peer.HasConnection(); }));
    peer.Write(Pattern(5000));
    peer.CloseConnection();
    ASSERT_TRUE(PumpUntil([&] { return owner.calls > 0; }));
    ASSERT_TRUE(PumpUntil([&] { return peer.PeerClosed(); }));
    EXPECT_EQ(owner.calls, 1);
}

} // namespace
