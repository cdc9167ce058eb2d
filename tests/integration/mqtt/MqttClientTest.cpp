// The MQTT client against a real broker: the MQTT thread runs the client, this test's
// main thread is the UI thread that receives the dispatched messages, and a second
// client plays the far side. (lumetra-cli listen checks the last will.)

#include "ProfileFolder.h"
#include "mqtt-c/DispatchLinePrinter.h"
#include "mqtt-c/MqttConnection.h"
#include "platform/WindowMessages.h"
#include "support/MqttClientThread.h"
#include "support/RecordingWindow.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QRegularExpression>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace {

const char kPc[] = "17250000001234567890";
const std::string kPcTopic = std::string("/") + kPc + "/lumetraToPC";
// The broker's log line for a granted subscription: "<client id> <QoS> <topic>".
const QString kSubscribedLine = QString(" 2 ") + QString::fromStdString(kPcTopic);

class MqttClient : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(broker_.Start()) << broker_.Error().toStdString();
        client_.Connection().SetPcId(kPc, std::strlen(kPc));
        out_ = std::tmpfile();
        err_ = std::tmpfile();
        client_.Connection().SetStreams(out_, err_);
        client_.Connection().SetTargetWindow(&window_);
    }

    void TearDown() override
    {
        StopClient();
        client_.Connection().SetTargetWindow(nullptr);
        client_.Connection().SetStreams(nullptr, nullptr);
        std::fclose(out_);
        std::fclose(err_);
        broker_.Stop();
    }

    void StartClient(const std::string& password = MosquittoBroker::kPassword)
    {
        client_.Start(broker_, MosquittoBroker::kUser, password);
    }
    void StopClient() { EXPECT_TRUE(client_.Stop()) << "the MQTT client did not stop"; }
    bool WaitSubscribed(int count = 1) { return MqttClientThread::WaitSubscribed(broker_, kPc, count); }

    // The far side: a second client of the same broker.
    bool ConnectFarSide()
    {
        return farSide_.Connect(broker_.Host(), broker_.Port(), broker_.User(), broker_.Password());
    }
    bool StartSubscribedWithFarSide()
    {
        StartClient();
        return WaitSubscribed() && ConnectFarSide();
    }

    // Publishes from the far side while the UI thread keeps handling messages.
    bool PublishToPc(const std::string& payload) { return PublishPumping(farSide_, kPcTopic, payload); }

    MosquittoBroker broker_;
    ProfileFolder profile_;
    RecordingWindow window_{DispatchLinePrinter::FormatLine};
    MqttTestClient farSide_{"far-side"};
    MqttClientThread client_;
    FILE* out_ = nullptr;
    FILE* err_ = nullptr;
};

TEST_F(MqttClient, ConnectsWithTheInstallationsIdentityAndSubscription)
{
    StartClient();
    ASSERT_TRUE(WaitSubscribed()) << broker_.Log().toStdString();

    const QString log = broker_.Log();
    const QRegularExpression connected(
        "New client connected from 127\\.0\\.0\\.1:\\d+ as (\\S+) \\(p1, c1, k10, u'lumetra'\\)\\.");
    const QRegularExpressionMatch match = connected.match(log);
    ASSERT_TRUE(match.hasMatch()) << log.toStdString();
    const std::string id = match.captured(1).toStdString();
    EXPECT_LE(id.size(), 23u);
    EXPECT_EQ(id.substr(0, 21), std::string(kPc) + "|");
    // Exactly one subscription, to the PC's topic at QoS 2, by that client.
    EXPECT_EQ(broker_.CountLogLines("Received SUBSCRIBE from " + QString::fromStdString(id)), 1);
    EXPECT_EQ(broker_.CountLogLines(QString::fromStdString(id) + kSubscribedLine), 1);
}

// Each message reaches the window on the UI thread, in arrival order, and is also
// written as "<topic> <payload>".
TEST_F(MqttClient, ThousandMessagesArriveInOrderOnTheUiThread)
{
    ASSERT_TRUE(StartSubscribedWithFarSide());

    std::atomic<bool> published{false};
    std::thread publisher([&] {
        for (int i = 0; i < 1000; ++i) {
            const std::string json = "{\"cmdId\":2987,\"gw_sn\":\"GW1\",\"seq\":" + std::to_string(i) + "}";
            if (!farSide_.Publish(kPcTopic, json, 2))
                break;
        }
        published = true;
    });
    const bool all = PumpUntil([&] { return window_.Count() >= 1000; }, 60000);
    PumpUntil([&] { return published.load(); }, 60000);
    publisher.join();
    ASSERT_TRUE(all) << window_.Count();

    const auto entries = window_.Entries();
    ASSERT_EQ(entries.size(), 1000u);
    for (size_t i = 0; i < entries.size(); ++i) {
        ASSERT_EQ(entries[i].text,
                  "2061 2987 {\"cmdId\":2987,\"gw_sn\":\"GW1\",\"seq\":" + std::to_string(i) + "}");
        ASSERT_TRUE(entries[i].onUiThread);
    }
    StopClient();
    const std::string out = ReadAll(out_);
    EXPECT_NE(out.find(kPcTopic + " {\"cmdId\":2987,\"gw_sn\":\"GW1\",\"seq\":999}\n"), std::string::npos);
}

TEST_F(MqttClient, ReconnectsAndSubscribesAgainAfterBrokerRestart)
{
    StartClient();
    ASSERT_TRUE(WaitSubscribed(1));
    ASSERT_TRUE(broker_.Restart()) << broker_.Error().toStdString();
    ASSERT_TRUE(WaitSubscribed(2)) << broker_.Log().toStdString();

    ASSERT_TRUE(ConnectFarSide());
    ASSERT_TRUE(PublishToPc("{\"cmdId\":2984,\"gw_sn\":\"GW1\",\"dev_sn\":\"D1\",\"is_bind\":0}"));
    ASSERT_TRUE(PumpUntil([&] { return window_.Count() >= 1; }));
    EXPECT_EQ(window_.Entries()[0].lParam, 2984);
}

TEST_F(MqttClient, WrongCredentialsAreReportedAndRetriedWithoutCrash)
{
    StartClient("wrong-password");
    ASSERT_TRUE(PumpUntil([&] { return broker_.CountLogLines("disconnected, not authorised") >= 2; }, 30000));
    StopClient();
    EXPECT_NE(ReadAll(err_).find("Connection Refused: not authorised.\n"), std::string::npos);
}

// Answers every inbound message by publishing its number to the gateway and to the
// server from the UI thread, while the MQTT thread waits for the handler in SendWindowMessage.
class ReplyingWindow : public RecordingWindow
{
protected:
    void AfterRecord(const Entry&) override
    {
        const std::string n = std::to_string(replies / 2);
        replies += publisher->Publish("/GW1/down", n.data(), static_cast<int>(n.size()), 0) == 0 ? 1 : 0;
        replies += publisher->PublishToServer(n.data(), static_cast<int>(n.size()), 2) == 0 ? 1 : 0;
    }

public:
    explicit ReplyingWindow(MessagePublisher* replyingTo)
        : RecordingWindow(DispatchLinePrinter::FormatLine), publisher(replyingTo)
    {
    }
    MessagePublisher* publisher;
    std::atomic<int> replies{0};
};

TEST_F(MqttClient, UiThreadPublishesWhileTheClientWaitsInSendMessage)
{
    ReplyingWindow replying(&client_.Connection());
    client_.Connection().SetTargetWindow(&replying);
    ASSERT_TRUE(StartSubscribedWithFarSide());
    ASSERT_TRUE(farSide_.Subscribe("/GW1/down", 0));
    ASSERT_TRUE(farSide_.Subscribe(std::string("/") + kPc + "/lumetraToServer", 2));

    const int rounds = 50;
    std::atomic<bool> published{false};
    std::thread publisher([&] {
        for (int i = 0; i < rounds; ++i)
            farSide_.Publish(kPcTopic, R"({"cmdId":2997,"gw_sn":"GW1","dev_sn":"D1"})", 2);
        published = true;
    });
    const bool answered = PumpUntil([&] { return farSide_.Messages().size() >= 2 * rounds; }, 60000);
    PumpUntil([&] { return published.load(); }, 30000);
    publisher.join();
    ASSERT_TRUE(answered) << farSide_.Messages().size();
    EXPECT_EQ(replying.replies.load(), 2 * rounds);
    std::string downs, server;
    for (const auto& message : farSide_.Messages())
        (message.topic == "/GW1/down" ? downs : server) += message.payload + (message.qos == 2 ? ";" : ",");
    std::string expected;
    for (int i = 0; i < rounds; ++i)
        expected += std::to_string(i) + ",";
    EXPECT_EQ(downs, expected);
    std::replace(expected.begin(), expected.end(), ',', ';');
    EXPECT_EQ(server, expected);
    StopClient();
}

} // namespace

// The main thread is the UI thread: it owns the application object.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
