// The MQTT client against a real broker: the MQTT thread runs the client, this test's
// main thread is the UI thread that receives the dispatched messages, and a second
// client plays the far side. The will is checked with the client in its own process.

#include "ProfileFolder.h"
#include "RecordingWindow.h"
#include "mqtt-c/mosquitto_wrapper.h"
#include "mqtt-c/mqtt_commands.h"
#include "mqtt-c/mqtt_envelope.h"
#include "mqtt-c/mqtt_topics.h"
#include "platform/WindowMessages.h"
#include "support/MosquittoBroker.h"
#include "support/MqttTestClient.h"
#include "support/PumpUntil.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>

#include <cjson/cJSON.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/prctl.h>
#include <thread>

namespace {

const char kPc[] = "17250000001234567890";
const std::string kPcTopic = std::string("/") + kPc + "/lumetraToPC";
// The broker's log line for a granted subscription: "<client id> <QoS> <topic>".
const QString kSubscribedLine = QString(" 2 ") + QString::fromStdString(kPcTopic);

std::string ReadAll(FILE* file)
{
    std::string text;
    std::rewind(file);
    for (int c; (c = std::fgetc(file)) != EOF;) {
        text += static_cast<char>(c);
    }
    return text;
}

class MqttClient : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(broker_.Start()) << broker_.Error().toStdString();
        mqtt_set_pc_id(kPc, std::strlen(kPc));
        out_ = std::tmpfile();
        err_ = std::tmpfile();
        mqtt_set_streams(out_, err_);
        mqtt_set_target_window(&window_);
    }

    void TearDown() override
    {
        StopClient();
        mqtt_set_target_window(nullptr);
        mqtt_set_streams(nullptr, nullptr);
        std::fclose(out_);
        std::fclose(err_);
        broker_.Stop();
    }

    void StartClient(const std::string& user = MosquittoBroker::kUser,
                     const std::string& password = MosquittoBroker::kPassword)
    {
        finished_ = false;
        const std::string host = broker_.Host();
        const int port = broker_.Port();
        thread_ = std::thread([this, host, port, user, password] {
            mqtt_client_run(host.c_str(), port, user.c_str(), password.c_str());
            finished_ = true;
        });
    }

    // Asks the client to end and waits for its thread; the UI thread keeps handling
    // messages meanwhile, since the client may be waiting in SendMessage.
    void StopClient()
    {
        if (!thread_.joinable()) {
            return;
        }
        const bool ended = PumpUntil(
            [this] {
                mqtt_client_stop();
                return finished_.load();
            },
            15000);
        if (ended) {
            thread_.join();
        } else {
            ADD_FAILURE() << "the MQTT client did not stop";
            thread_.detach();
        }
    }

    bool WaitSubscribed(int count = 1, int timeoutMs = 15000)
    {
        return PumpUntil([&] { return broker_.CountLogLines(kSubscribedLine) >= count; }, timeoutMs);
    }

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
    bool PublishToPc(const std::string& payload, int qos = 1)
    {
        std::atomic<int> result{-1};
        std::thread publisher([&] { result = farSide_.Publish(kPcTopic, payload, qos) ? 1 : 0; });
        PumpUntil([&] { return result.load() >= 0; }, 15000);
        publisher.join();
        return result == 1;
    }

    MosquittoBroker broker_;
    ProfileFolder profile_;
    RecordingWindow window_;
    MqttTestClient farSide_{"far-side"};
    std::thread thread_;
    std::atomic<bool> finished_{false};
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
    const std::string will = std::string("{\"pc_id\":\"") + kPc + "\",\"cmdId\":3012}";
    EXPECT_EQ(broker_.CountLogLines(QString("Will message specified (%1 bytes) (r0, q1).").arg(will.size())),
              1);
}

TEST_F(MqttClient, PublishedMessageReachesTheWindowWithNumberAndCode)
{
    ASSERT_TRUE(StartSubscribedWithFarSide());

    const std::string result =
        "{\"cmdId\":2993,\"gw_sn\":\"GW1\",\"dev_sn\":\"D1\",\"flag\":1,\"msg\":\"ok\"}";
    const std::string status =
        "{\"cmdId\":98,\"flag\":1,\"gwSn\":\"GW1\",\"lanIp\":\"10.0.0.2\",\"csq\":\"20\","
        "\"lanMask\":\"255.0.0.0\"}";
    ASSERT_TRUE(PublishToPc(result, 1));
    ASSERT_TRUE(PublishToPc(status, 1));
    ASSERT_TRUE(PumpUntil([&] { return window_.Count() >= 2; }));

    const auto entries = window_.Entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].msg, WM_USER + 1037);
    EXPECT_EQ(entries[0].lParam, WM_USER + 1041);
    EXPECT_TRUE(entries[0].onUiThread);
    EXPECT_EQ(entries[0].line, "2061 2065 " + result);
    EXPECT_EQ(entries[1].msg, WM_USER + 1009);
    EXPECT_EQ(entries[1].line, "2033 0 {\"flag\":1,\"gwSn\":\"GW1\",\"lanIp\":\"10.0.0.2\",\"csq\":\"20\","
                               "\"lanMask\":\"255.0.0.0\"}");

    StopClient();
    // Each message is also written as "<topic> <payload>".
    const std::string out = ReadAll(out_);
    EXPECT_NE(out.find(kPcTopic + " " + result + "\n"), std::string::npos) << out;
}

TEST_F(MqttClient, ThousandMessagesArriveInOrder)
{
    ASSERT_TRUE(StartSubscribedWithFarSide());

    std::atomic<bool> published{false};
    std::thread publisher([&] {
        for (int i = 0; i < 1000; ++i) {
            const std::string json = "{\"cmdId\":2987,\"gw_sn\":\"GW1\",\"seq\":" + std::to_string(i) + "}";
            if (!farSide_.Publish(kPcTopic, json, 2)) {
                break;
            }
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
        ASSERT_EQ(entries[i].line,
                  "2061 2987 {\"cmdId\":2987,\"gw_sn\":\"GW1\",\"seq\":" + std::to_string(i) + "}");
    }
}

TEST_F(MqttClient, ReconnectsAndSubscribesAgainAfterBrokerRestart)
{
    StartClient();
    ASSERT_TRUE(WaitSubscribed(1));
    ASSERT_TRUE(broker_.Restart()) << broker_.Error().toStdString();
    ASSERT_TRUE(WaitSubscribed(2, 30000)) << broker_.Log().toStdString();

    ASSERT_TRUE(ConnectFarSide());
    ASSERT_TRUE(PublishToPc("{\"cmdId\":2984,\"gw_sn\":\"GW1\",\"dev_sn\":\"D1\",\"is_bind\":0}"));
    ASSERT_TRUE(PumpUntil([&] { return window_.Count() >= 1; }));
    EXPECT_EQ(window_.Entries()[0].lParam, 2984);
}

TEST_F(MqttClient, WrongCredentialsAreReportedAndRetriedWithoutCrash)
{
    StartClient(MosquittoBroker::kUser, "wrong-password");
    ASSERT_TRUE(PumpUntil([&] { return broker_.CountLogLines("disconnected, not authorised") >= 2; }, 30000));
    StopClient();
    EXPECT_NE(ReadAll(err_).find("Connection Refused: not authorised.\n"), std::string::npos);
}

// Answers every inbound reply request by publishing 2994 from the UI thread while
// the MQTT thread waits for the handler in SendMessage.
class ReplyingWindow : public RecordingWindow
{
protected:
    void AfterRecord(const Entry& entry) override
    {
        if (entry.lParam != WM_USER + 1035) {
            return;
        }
        cJSON* reply = mqtt_build_reply_2994("D1", kPc);
        char topic[kTopicBufferSize];
        mqtt_format_down_topic(topic, "GW1");
        replies += mqtt_publish_json(topic, reply, 0) == 0 ? 1 : 0;
        cJSON_Delete(reply);
        cJSON* request = mqtt_build_vpn_channel_request("GW1", kPc);
        replies += mqtt_publish_json_to_server(request, 2) == 0 ? 1 : 0;
        cJSON_Delete(request);
    }

public:
    std::atomic<int> replies{0};
};

TEST_F(MqttClient, UiThreadPublishesWhileTheClientWaitsInSendMessage)
{
    ReplyingWindow replying;
    mqtt_set_target_window(&replying);
    ASSERT_TRUE(StartSubscribedWithFarSide());
    ASSERT_TRUE(farSide_.Subscribe("/GW1/down", 0));
    ASSERT_TRUE(farSide_.Subscribe(std::string("/") + kPc + "/lumetraToServer", 2));

    const int rounds = 50;
    std::atomic<bool> published{false};
    std::thread publisher([&] {
        for (int i = 0; i < rounds; ++i) {
            farSide_.Publish(kPcTopic, "{\"cmdId\":2997,\"gw_sn\":\"GW1\",\"dev_sn\":\"D1\"}", 2);
        }
        published = true;
    });
    const bool answered = PumpUntil([&] { return farSide_.Messages().size() >= 2 * rounds; }, 60000);
    PumpUntil([&] { return published.load(); }, 30000);
    publisher.join();
    ASSERT_TRUE(answered) << farSide_.Messages().size();
    EXPECT_EQ(replying.replies.load(), 2 * rounds);

    int downs = 0;
    int server = 0;
    for (const auto& message : farSide_.Messages()) {
        if (message.topic == "/GW1/down") {
            ++downs;
            EXPECT_EQ(message.payload, "{\"ctrl_root\":{\"forward_topic\":\"/ipc/kavno/publish/lumetra\"},"
                                       "\"payload_root\":{\"cmdId\":2994,\"dev_sn\":\"D1\",\"pc_id\":\"" +
                                           std::string(kPc) + "\"}}");
        } else {
            ++server;
            EXPECT_EQ(message.payload,
                      "{\"gwSn\":\"GW1\",\"cmdId\":97,\"pcId\":\"" + std::string(kPc) + "\"}");
            EXPECT_EQ(message.qos, 2);
        }
    }
    EXPECT_EQ(downs, rounds);
    EXPECT_EQ(server, rounds);
    StopClient();
}

TEST_F(MqttClient, WillIsPublishedWhenTheClientProcessIsKilled)
{
    MqttTestClient watcher("will-watcher");
    ASSERT_TRUE(watcher.Connect(broker_.Host(), broker_.Port(), broker_.User(), broker_.Password()));
    ASSERT_TRUE(watcher.Subscribe("/sys/lumetra/pfs/pc", 1));
    QProcess probe;
    probe.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    probe.start(MQTT_CLIENT_PROBE,
                {kPc, QString::fromStdString(broker_.Host()), QString::number(broker_.Port()),
                 MosquittoBroker::kUser, MosquittoBroker::kPassword});
    ASSERT_TRUE(probe.waitForStarted(10000));
    ASSERT_TRUE(broker_.WaitForLog(kSubscribedLine, 1, 15000)) << broker_.Log().toStdString();
    EXPECT_TRUE(watcher.Messages().empty());

    probe.kill();
    ASSERT_TRUE(probe.waitForFinished(10000));
    ASSERT_TRUE(watcher.WaitForMessages(1));
    const auto messages = watcher.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].topic, "/sys/lumetra/pfs/pc");
    EXPECT_EQ(messages[0].payload, std::string("{\"pc_id\":\"") + kPc + "\",\"cmdId\":3012}");
    EXPECT_EQ(messages[0].qos, 1);
    EXPECT_FALSE(messages[0].retain);
}

} // namespace

// The main thread is the UI thread: it owns the application object.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
