// The local listener host with real listeners on the device ports and real clients.
// These tests bind privileged ports; they hold the "device-ports" lock and skip when
// a port cannot be bound here.

#include "SocketFakes.h"

#include "app/Installation.h"
#include "app/JsonPtr.h"
#include "control/LocalListenerHost.h"
#include "endpoint/CServerAcceptSocket.h"
#include "endpoint/CServerSocket.h"
#include "support/FreePort.h"
#include "support/MessageBoxRecorder.h"
#include "support/PlatconfBuilder.h"
#include "support/ProgramRun.h"
#include "support/PumpUntil.h"
#include "support/TempDir.h"

#include <QFile>

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <netinet/tcp.h>

namespace {

const char kBound[] = R"({"flag":1,"msg":""})";
const char kBindFailed[] = R"({"flag":0,"msg":"端口绑定失败"})";

// A client of the listener on this machine; true once connected.
bool ConnectClient(QTcpSocket& client, uint16_t port, const QString& address = "127.0.0.1")
{
    client.connectToHost(address, port);
    PumpUntil([&] {
        return client.state() == QAbstractSocket::ConnectedState ||
               client.state() == QAbstractSocket::UnconnectedState;
    });
    return client.state() == QAbstractSocket::ConnectedState;
}

class ListenerHostTest : public ::testing::Test
{
protected:
    // The application (whose thread is the UI thread) comes before the members.
    static void SetUpTestSuite() { ProgramRun::EnsureApplication(); }
    void SetUp() override { qputenv("LUMETRA_HOME", home_.Path().toUtf8()); }
    void TearDown() override { qunsetenv("LUMETRA_HOME"); }

    // Asks for a listener and returns the JSON answer ("" when none came).
    std::string Listen(RecordingOwner& owner)
    {
        const JsonPtr answer = host_.SetUp(owner);
        const JsonText text(answer != nullptr ? cJSON_PrintUnformatted(answer.get()) : nullptr);
        return text != nullptr ? std::string(text.get()) : std::string();
    }

    TempDir home_;
    Installation installation_{home_.Path()}; // no custom resources until a test loads them
    LocalListenerHost host_{installation_};
};

TEST_F(ListenerHostTest, ListensOnThePortOfTheDeviceType)
{
    const std::vector<std::pair<int, uint16_t>> cases = {{2, 502},   {6, 502},   {3, 102},   {12, 102},
                                                         {10, 5562}, {16, 5562}, {13, 9600}, {14, 9600},
                                                         {7, 502},   {0, 502}};
    MessageBoxRecorder boxes;
    std::string skipped;
    for (const auto& [deviceType, port] : cases) {
        SCOPED_TRACE(deviceType);
        EXPECT_EQ(LocalListenerHost::ListenPortForDeviceType(deviceType), port);
        if (!FreePort::IsFree(port)) {
            skipped += " " + std::to_string(port);
            continue;
        }
        RecordingOwner owner(deviceType);
        EXPECT_EQ(Listen(owner), kBound);
        ASSERT_NE(host_.ListenerOf(&owner), nullptr);
        EXPECT_EQ(host_.ListenerOf(&owner)->LocalPort(), port);
        EXPECT_EQ(host_.Where(owner), "127.0.0.1:" + std::to_string(port));
        QTcpSocket client;
        ASSERT_TRUE(ConnectClient(client, port));
        client.write("hello");
        ASSERT_TRUE(PumpUntil([&] { return owner.all.size() >= 5; }));
        EXPECT_EQ(owner.all, QByteArray("hello"));
        host_.Close(owner);
        EXPECT_EQ(host_.ListenerOf(&owner), nullptr);
        EXPECT_EQ(host_.Where(owner), "");
        QTcpSocket late;
        EXPECT_FALSE(ConnectClient(late, port));
    }
    EXPECT_EQ(boxes.Count(), 0u);
    if (!skipped.empty())
        GTEST_SKIP() << "ports that cannot be used here:" << skipped;
}

TEST_F(ListenerHostTest, ChunksAreMarkedNewAndTracedAndEachTunnelHasItsOwnListener)
{
    for (int port : {102, 5562})
        if (!FreePort::IsFree(port))
            GTEST_SKIP() << "port " << port << " cannot be bound here";
    RecordingOwner owner(12);
    ASSERT_EQ(Listen(owner), kBound);

    QTcpSocket first;
    ASSERT_TRUE(ConnectClient(first, 102));
    const QByteArray burst(3000, 'b');
    first.write(burst);
    ASSERT_TRUE(PumpUntil([&] { return owner.all.size() >= 3000; }));
    first.write("more");
    ASSERT_TRUE(PumpUntil([&] { return owner.all.size() >= 3004; }));
    const size_t firstChunks = owner.chunks.size();
    ASSERT_GE(firstChunks, 4u);

    CServerAcceptSocket* connection = host_.FindConnection(&owner);
    ASSERT_NE(connection, nullptr);
    int value = 0;
    socklen_t length = sizeof value;
    ASSERT_EQ(
        getsockopt(static_cast<int>(connection->NativeHandle()), IPPROTO_TCP, TCP_NODELAY, &value, &length),
        0);
    EXPECT_NE(value, 0) << "accepted connection without TCP_NODELAY";

    QTcpSocket second;
    ASSERT_TRUE(ConnectClient(second, 102));
    second.write("second");
    ASSERT_TRUE(PumpUntil([&] { return owner.all.size() >= 3010; }));
    EXPECT_EQ(owner.all, burst + "more" + "second");

    QByteArray expectedTrace;
    for (size_t i = 0; i < owner.chunks.size(); ++i) {
        const RecordingOwner::Chunk& chunk = owner.chunks[i];
        EXPECT_LE(chunk.bytes.size(), 1024);
        EXPECT_EQ(chunk.newConnection, (i == 0 || i == firstChunks) ? 1 : 0) << "chunk " << i;
        expectedTrace += "local socket recv:-" + QByteArray::number(chunk.bytes.size()) + "-[" +
                         chunk.bytes.toHex(']').toUpper().replace("]", "][") + "]\r\n";
    }
    ASSERT_TRUE(installation_.Trace().Flush());
    QFile trace(home_.FilePath("logtrace"));
    ASSERT_TRUE(trace.open(QIODevice::ReadOnly));
    EXPECT_EQ(trace.readAll(), expectedTrace);

    // Another tunnel gets a listener of its own (its port is free on the default
    // address); the same request again replaces its listener. The first one stays.
    RecordingOwner next(10);
    ASSERT_EQ(Listen(next), kBound);
    ASSERT_EQ(Listen(next), kBound);
    EXPECT_EQ(host_.ListenerCount(), 2u);
    ASSERT_NE(host_.ListenerOf(&next), nullptr);
    EXPECT_EQ(host_.ListenerOf(&next)->Owner(), static_cast<LocalListenerOwner*>(&next));
    EXPECT_EQ(host_.Where(next), "127.0.0.1:5562");
    QTcpSocket toOld, toNew;
    ASSERT_TRUE(ConnectClient(toNew, 5562));
    toNew.write("x");
    ASSERT_TRUE(PumpUntil([&] { return next.all.size() == 1; }));
    ASSERT_TRUE(ConnectClient(toOld, 102));
    toOld.write("old");
    ASSERT_TRUE(PumpUntil([&] { return owner.all.size() == 3013; }));
    EXPECT_EQ(next.all, QByteArray("x"));
    // Closing one leaves the other listening.
    host_.Close(next);
    QTcpSocket lateNew, lateOld;
    EXPECT_FALSE(ConnectClient(lateNew, 5562));
    EXPECT_TRUE(ConnectClient(lateOld, 102));
    host_.Close(owner);
}

// Three devices of one type at once: the first listens on the default address, the
// others on loopback addresses of their own on the same port, each reaching its own
// tunnel. The addresses are remembered per device serial: a later host (the program
// started again) gives each device the same one, in whatever order they open.
TEST_F(ListenerHostTest, DevicesOfOneTypeListenOnTheirOwnRememberedAddresses)
{
    if (!FreePort::IsFree(502))
        GTEST_SKIP() << "port 502 cannot be bound here";
    MessageBoxRecorder boxes;
    RecordingOwner plc(2, "PLC-A"), drive(2, "DRIVE-B"), meter(6, "METER-C");
    ASSERT_EQ(Listen(plc), kBound);
    ASSERT_EQ(Listen(drive), kBound);
    ASSERT_EQ(Listen(meter), kBound);
    EXPECT_EQ(host_.Where(plc), "127.0.0.1:502");
    EXPECT_EQ(host_.Where(drive), "127.0.1.2:502");
    EXPECT_EQ(host_.Where(meter), "127.0.1.3:502");
    QTcpSocket toPlc, toDrive, toMeter;
    ASSERT_TRUE(ConnectClient(toPlc, 502));
    ASSERT_TRUE(ConnectClient(toDrive, 502, "127.0.1.2"));
    ASSERT_TRUE(ConnectClient(toMeter, 502, "127.0.1.3"));
    toPlc.write("p");
    toDrive.write("dd");
    toMeter.write("mmm");
    ASSERT_TRUE(
        PumpUntil([&] { return plc.all.size() == 1 && drive.all.size() == 2 && meter.all.size() == 3; }));
    EXPECT_EQ(plc.all + drive.all + meter.all, QByteArray("pddmmm"));

    // Closing one leaves the others listening; its address is not handed to another.
    host_.Close(drive);
    QTcpSocket lateDrive, lateMeter;
    EXPECT_FALSE(ConnectClient(lateDrive, 502, "127.0.1.2"));
    ASSERT_TRUE(ConnectClient(lateMeter, 502, "127.0.1.3"));
    lateMeter.write("4");
    ASSERT_TRUE(PumpUntil([&] { return meter.all.size() == 4; }));
    RecordingOwner pump(2, "PUMP-D");
    ASSERT_EQ(Listen(pump), kBound);
    EXPECT_EQ(host_.Where(pump), "127.0.1.4:502");
    host_.Close(plc);
    host_.Close(meter);
    host_.Close(pump);

    // The book is the owner's alone.
    EXPECT_EQ(QFile(installation_.TunnelAddressPath()).permissions() & (QFile::ReadGroup | QFile::ReadOther),
              QFile::Permissions());
    // A later run: the meter opens first and takes the default address; the drive
    // and the pump keep theirs.
    LocalListenerHost later(installation_);
    ASSERT_TRUE(later.SetUp(meter) != nullptr);
    ASSERT_TRUE(later.SetUp(pump) != nullptr);
    ASSERT_TRUE(later.SetUp(drive) != nullptr);
    EXPECT_EQ(later.Where(meter), "127.0.0.1:502");
    EXPECT_EQ(later.Where(pump), "127.0.1.4:502");
    EXPECT_EQ(later.Where(drive), "127.0.1.2:502");
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(ListenerHostTest, BindFailureGivesTheMessageAndAFailedAnswer)
{
    // A listen address that is not on this machine, then a port held by another socket.
    ASSERT_TRUE(PlatconfBuilder().Text("listen_host", "203.0.113.1").WriteTo(home_.FilePath("platconf")));
    installation_.LoadCustomResourcesFrom(home_.FilePath("platconf"));
    RecordingOwner owner(2);
    MessageBoxRecorder boxes;
    EXPECT_EQ(Listen(owner), kBindFailed);
    installation_.LoadCustomResourcesFrom(home_.FilePath("no-platconf"));

    QTcpServer holder;
    const bool held = holder.listen(QHostAddress::LocalHost, 502);
    if (held) {
        EXPECT_EQ(Listen(owner), kBindFailed);
    }
    ASSERT_EQ(boxes.Count(), held ? 2u : 1u);
    for (const MessageBoxRecorder::Box& box : boxes.Boxes()) {
        EXPECT_EQ(box.text, QString::fromUtf8("绑定套接字错误！"));
        EXPECT_EQ(box.caption, QString("Lumetra"));
        EXPECT_EQ(box.style, 0u);
        EXPECT_EQ(box.owner, &host_);
        EXPECT_TRUE(box.onUiThread);
    }
    EXPECT_EQ(host_.ListenerOf(&owner), nullptr);
    EXPECT_EQ(host_.ListenerCount(), 0u);
}

} // namespace
