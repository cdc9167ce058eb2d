// The local listener host with real listeners on the device ports and real
// clients. These tests bind privileged ports; they hold the "device-ports" lock
// and skip when a port is busy or cannot be bound here.

#include "RecordingOwner.h"
#include "ReplyWindow.h"

#include "app/CustomResourceTable.h"
#include "endpoint/CServerAcceptSocket.h"
#include "endpoint/CServerSocket.h"
#include "endpoint/LocalListenerHost.h"
#include "platform/MessageBox.h"
#include "platform/WindowMessages.h"
#include "support/MessageBoxRecorder.h"
#include "support/PlatconfBuilder.h"
#include "support/PumpUntil.h"
#include "support/TempDir.h"

#include <QFile>
#include <QTcpSocket>

#include <cjson/cJSON.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

WPARAM Param(RecordingOwner& owner)
{
    return reinterpret_cast<WPARAM>(static_cast<LocalListenerOwner*>(&owner));
}

QByteArray Pattern(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 7 + 3) & 0xFF);
    }
    return bytes;
}

// Why `port` cannot serve a listener here, or an empty text when it can.
std::string PortProblem(uint16_t port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        return std::string("no socket: ") + std::strerror(errno);
    }
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string problem;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        problem = std::string("bind: ") + std::strerror(errno);
    } else if (listen(fd, 1) != 0) {
        problem = std::string("listen: ") + std::strerror(errno);
    }
    close(fd);
    return problem;
}

#define SKIP_UNLESS_BINDABLE(port)                                                                           \
    do {                                                                                                     \
        const std::string problem = PortProblem(port);                                                       \
        if (!problem.empty()) {                                                                              \
            GTEST_SKIP() << "port " << (port) << " cannot be used here (" << problem << ")";                 \
        }                                                                                                    \
    } while (false)

// A client of the listener on this machine.
class LocalClient
{
public:
    bool ConnectTo(uint16_t port)
    {
        socket_.connectToHost("127.0.0.1", port);
        PumpUntil([&] {
            return socket_.state() == QAbstractSocket::ConnectedState ||
                   socket_.state() == QAbstractSocket::UnconnectedState;
        });
        return socket_.state() == QAbstractSocket::ConnectedState;
    }
    void Write(const QByteArray& bytes)
    {
        socket_.write(bytes);
        socket_.flush();
    }
    QByteArray& Received()
    {
        received_ += socket_.readAll();
        return received_;
    }

private:
    QTcpSocket socket_;
    QByteArray received_;
};

class ListenerHostTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home_.IsValid());
        qputenv("LUMETRA_HOME", home_.Path().toUtf8());
        LoadCustomResourcesFrom(home_.FilePath("no-platconf"));
    }

    void TearDown() override
    {
        qunsetenv("LUMETRA_HOME");
        LoadCustomResourcesFrom(home_.FilePath("no-platconf"));
    }

    // Asks for a listener and returns the JSON answer ("" when none came).
    std::string SetUp(RecordingOwner& owner)
    {
        const size_t before = answers_.Count();
        SendMessage(&host_, WM_LISTENER_SETUP, Param(owner), reinterpret_cast<LPARAM>(&answers_));
        if (answers_.Count() != before + 1) {
            return std::string();
        }
        EXPECT_EQ(answers_.Entries().back().msg, WM_TUNNEL_REPLY);
        EXPECT_EQ(answers_.Entries().back().wParam, Param(owner));
        return answers_.Entries().back().json;
    }

    TempDir home_;
    LocalListenerHost host_;
    ReplyWindow answers_;
};

struct PortCase
{
    int deviceType;
    uint16_t port;
};

class ListenerPortTest : public ListenerHostTest, public ::testing::WithParamInterface<PortCase>
{
};

TEST_P(ListenerPortTest, ListensOnThePortOfTheDeviceTypeAndHandsOnChunks)
{
    const PortCase param = GetParam();
    EXPECT_EQ(LocalListenerHost::ListenPortForDeviceType(param.deviceType), param.port);
    SKIP_UNLESS_BINDABLE(param.port);

    RecordingOwner owner(param.deviceType);
    MessageBoxRecorder boxes;
    EXPECT_EQ(SetUp(owner), R"({"flag":1,"msg":""})");
    EXPECT_EQ(boxes.Count(), 0u);
    ASSERT_NE(host_.Listener(), nullptr);
    EXPECT_TRUE(host_.Listener()->IsListening());
    EXPECT_EQ(host_.Listener()->LocalPort(), param.port);

    LocalClient client;
    ASSERT_TRUE(client.ConnectTo(param.port));
    const QByteArray hello = "hello " + QByteArray::number(param.deviceType);
    client.Write(hello);
    ASSERT_TRUE(PumpUntil([&] { return owner.ByteCount() >= static_cast<size_t>(hello.size()); }));
    ASSERT_EQ(owner.Chunks().size(), 1u);
    EXPECT_EQ(owner.Chunks()[0].bytes, hello);
    EXPECT_EQ(owner.Chunks()[0].newConnection, 1);
    EXPECT_EQ(host_.ConnectionCount(), 1u);

    SendMessage(&host_, WM_LISTENER_CLOSE, 0, 0);
    EXPECT_EQ(host_.Listener(), nullptr);
    LocalClient late;
    EXPECT_FALSE(late.ConnectTo(param.port));
}

INSTANTIATE_TEST_SUITE_P(DeviceTypes, ListenerPortTest,
                         ::testing::Values(PortCase{2, 502}, PortCase{6, 502}, PortCase{3, 102},
                                           PortCase{12, 102}, PortCase{10, 5562}, PortCase{16, 5562},
                                           PortCase{13, 9600}, PortCase{14, 9600}, PortCase{7, 502},
                                           PortCase{0, 502}),
                         [](const ::testing::TestParamInfo<PortCase>& info) {
                             return "Type" + std::to_string(info.param.deviceType) + "Port" +
                                    std::to_string(info.param.port);
                         });

TEST_F(ListenerHostTest, FirstChunkOfEachConnectionIsMarkedNewAndEveryChunkIsTraced)
{
    SKIP_UNLESS_BINDABLE(102);
    RecordingOwner owner(12);
    ASSERT_EQ(SetUp(owner), R"({"flag":1,"msg":""})");

    LocalClient first;
    ASSERT_TRUE(first.ConnectTo(102));
    const QByteArray burst = Pattern(3000);
    first.Write(burst);
    ASSERT_TRUE(PumpUntil([&] { return owner.ByteCount() >= 3000; }));
    first.Write("more");
    ASSERT_TRUE(PumpUntil([&] { return owner.ByteCount() >= 3004; }));
    const size_t firstChunks = owner.Chunks().size();
    ASSERT_GE(firstChunks, 4u);

    CServerAcceptSocket* connection = host_.FindConnection(&owner);
    ASSERT_NE(connection, nullptr);
    int value = 0;
    socklen_t length = sizeof value;
    ASSERT_EQ(
        getsockopt(static_cast<int>(connection->NativeHandle()), IPPROTO_TCP, TCP_NODELAY, &value, &length),
        0);
    EXPECT_NE(value, 0) << "accepted connection without TCP_NODELAY";
    EXPECT_EQ(connection->NewConnectionFlag(), 0);

    LocalClient second;
    ASSERT_TRUE(second.ConnectTo(102));
    second.Write("second");
    ASSERT_TRUE(PumpUntil([&] { return owner.ByteCount() >= 3010; }));
    EXPECT_EQ(host_.ConnectionCount(), 2u);

    QByteArray all;
    QByteArray expectedTrace;
    for (size_t i = 0; i < owner.Chunks().size(); ++i) {
        const RecordingOwner::Chunk& chunk = owner.Chunks()[i];
        EXPECT_LE(chunk.bytes.size(), 1024);
        EXPECT_EQ(chunk.newConnection, (i == 0 || i == firstChunks) ? 1 : 0) << "chunk " << i;
        if (i < firstChunks) {
            all += chunk.bytes;
        }
        expectedTrace += "local socket recv:-" + QByteArray::number(chunk.bytes.size()) + "-";
        for (unsigned char byte : chunk.bytes) {
            expectedTrace += "[" + QByteArray::number(byte, 16).toUpper().rightJustified(2, '0') + "]";
        }
        expectedTrace += "\r\n";
    }
    EXPECT_EQ(all, burst + "more");
    EXPECT_EQ(owner.Chunks().back().bytes, QByteArray("second"));

    QFile trace(home_.FilePath("logtrace"));
    ASSERT_TRUE(trace.open(QIODevice::ReadOnly));
    EXPECT_EQ(trace.readAll(), expectedTrace);
}

TEST_F(ListenerHostTest, SecondRequestClosesTheFirstListener)
{
    SKIP_UNLESS_BINDABLE(102);
    SKIP_UNLESS_BINDABLE(5562);
    RecordingOwner first(12);
    RecordingOwner second(10);
    ASSERT_EQ(SetUp(first), R"({"flag":1,"msg":""})");
    ASSERT_EQ(SetUp(second), R"({"flag":1,"msg":""})");
    ASSERT_NE(host_.Listener(), nullptr);
    EXPECT_EQ(host_.Listener()->LocalPort(), 5562);
    EXPECT_EQ(host_.Listener()->Owner(), Param(second));

    LocalClient toOld;
    EXPECT_FALSE(toOld.ConnectTo(102));
    LocalClient toNew;
    ASSERT_TRUE(toNew.ConnectTo(5562));
    toNew.Write("x");
    ASSERT_TRUE(PumpUntil([&] { return second.ByteCount() == 1; }));
    EXPECT_EQ(first.ByteCount(), 0u);

    // The same request again for the same port works: the old listener is gone first.
    ASSERT_EQ(SetUp(second), R"({"flag":1,"msg":""})");
    LocalClient again;
    EXPECT_TRUE(again.ConnectTo(5562));
}

TEST_F(ListenerHostTest, PortHeldByAnotherSocketGivesTheBindMessageAndAFailedAnswer)
{
    SKIP_UNLESS_BINDABLE(502);
    // Bound without address reuse, not listening: nobody else may bind the port.
    const int holder = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(holder, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(502);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(holder);
        GTEST_SKIP() << "port 502 could not be held for the test";
    }

    RecordingOwner owner(2);
    MessageBoxRecorder boxes;
    EXPECT_EQ(SetUp(owner), R"({"flag":0,"msg":"端口绑定失败"})");
    close(holder);

    ASSERT_EQ(boxes.Count(), 1u);
    const MessageBoxRecorder::Box box = boxes.Boxes()[0];
    EXPECT_EQ(box.text, QString::fromUtf8("绑定套接字错误！"));
    EXPECT_EQ(box.caption, QString("Lumetra"));
    EXPECT_EQ(box.style, 0u);
    EXPECT_EQ(box.owner, &host_);
    EXPECT_TRUE(box.onUiThread);
    EXPECT_EQ(host_.Listener(), nullptr);
}

TEST_F(ListenerHostTest, UnbindableListenHostGivesTheBindMessage)
{
    ASSERT_TRUE(PlatconfBuilder().Text("listen_host", "203.0.113.1").WriteTo(home_.FilePath("platconf")));
    LoadCustomResourcesFrom(home_.FilePath("platconf"));
    EXPECT_EQ(LocalListenerHost::ListenAddress(), QString("203.0.113.1"));

    RecordingOwner owner(7);
    MessageBoxRecorder boxes;
    EXPECT_EQ(SetUp(owner), R"({"flag":0,"msg":"端口绑定失败"})");
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, QString::fromUtf8("绑定套接字错误！"));
    EXPECT_EQ(host_.Listener(), nullptr);

    // A text that is no IPv4 address cannot be bound either.
    ASSERT_TRUE(PlatconfBuilder().Text("listen_host", "not an address").WriteTo(home_.FilePath("platconf")));
    LoadCustomResourcesFrom(home_.FilePath("platconf"));
    EXPECT_EQ(SetUp(owner), R"({"flag":0,"msg":"端口绑定失败"})");
    EXPECT_EQ(boxes.Count(), 2u);
}

TEST_F(ListenerHostTest, WithoutAnswerWindowTheListenerStillComesUp)
{
    SKIP_UNLESS_BINDABLE(9600);
    RecordingOwner owner(13);
    SendMessage(&host_, WM_LISTENER_SETUP, Param(owner), 0);
    EXPECT_EQ(answers_.Count(), 0u);
    ASSERT_NE(host_.Listener(), nullptr);
    LocalClient client;
    EXPECT_TRUE(client.ConnectTo(9600));
}

cJSON* PayloadMessage(const char* base64, bool withSequence = true)
{
    cJSON* message = cJSON_CreateObject();
    cJSON_AddNumberToObject(message, "cmdId", 2988);
    if (withSequence) {
        cJSON_AddNumberToObject(message, "pt_sn", 7);
    }
    cJSON_AddStringToObject(message, "pt_payload", base64);
    return message;
}

void Deliver(LocalListenerHost& host, UINT msg, WPARAM tunnel, cJSON* message)
{
    SendMessage(&host, msg, tunnel, reinterpret_cast<LPARAM>(message));
    cJSON_Delete(message);
}

TEST_F(ListenerHostTest, PortForwardMessagesReachTheTunnelsConnection)
{
    SKIP_UNLESS_BINDABLE(502);
    RecordingOwner owner(7);
    RecordingOwner stranger(7);
    ASSERT_EQ(SetUp(owner), R"({"flag":1,"msg":""})");
    LocalClient client;
    ASSERT_TRUE(client.ConnectTo(502));
    client.Write("request");
    ASSERT_TRUE(PumpUntil([&] { return owner.ByteCount() == 7; }));

    const QByteArray reply = Pattern(5000);
    Deliver(host_, WM_PORT_FORWARD_DATA, Param(owner), PayloadMessage(reply.toBase64().constData()));
    // Without "pt_sn", or for another tunnel, nothing is sent.
    Deliver(host_, WM_PORT_FORWARD_DATA, Param(owner), PayloadMessage("AAAA", false));
    Deliver(host_, WM_PORT_FORWARD_DATA, Param(stranger), PayloadMessage("AAAA"));
    // Decoding stops at the first character outside the alphabet.
    Deliver(host_, WM_PORT_FORWARD_DATA, Param(owner), PayloadMessage("ZW5k*QUFB"));
    ASSERT_TRUE(PumpUntil([&] { return client.Received().size() >= reply.size() + 3; }));
    EXPECT_EQ(client.Received(), reply + "end");

    CServerAcceptSocket* connection = host_.FindConnection(&owner);
    ASSERT_NE(connection, nullptr);
    EXPECT_EQ(connection->MatchedFlag(), 0);
    Deliver(host_, WM_PORT_FORWARD_MATCHED, Param(owner), cJSON_Parse(R"({"cmdId":2986})"));
    EXPECT_EQ(connection->MatchedFlag(), 1);
    Deliver(host_, WM_PORT_FORWARD_ACK, Param(owner), cJSON_Parse(R"({"cmdId":2987,"seq":3})"));
    Deliver(host_, WM_PORT_FORWARD_NOTICE, Param(owner), cJSON_Parse(R"({"cmdId":2991})"));
    EXPECT_EQ(host_.FindConnection(&stranger), nullptr);
    // Messages without a JSON object or a tunnel are ignored.
    SendMessage(&host_, WM_PORT_FORWARD_DATA, Param(owner), 0);
    SendMessage(&host_, WM_PORT_FORWARD_MATCHED, 0, 0);
    SendMessage(&host_, WM_LISTENER_ACCEPT, Param(owner), 0);
    EXPECT_EQ(host_.ConnectionCount(), 1u);
}

} // namespace
