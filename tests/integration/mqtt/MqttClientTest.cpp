// The MQTT client against a real broker, in this process: the MQTT thread runs the
// client, this test's main thread is the UI thread that receives the dispatched
// messages, and a second client plays the far side.

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

#include <QRegularExpression>

#include <cjson/cJSON.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
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
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof(buffer), file)) > 0) {
        text.append(buffer, n);
    }
    return text;
}

// The bytes written to a file so far, asked of the system, not of the FILE that
// another thread is writing.
long FileSize(FILE* file)
{
    struct stat info;
    return fstat(fileno(file), &info) == 0 ? static_cast<long>(info.st_size) : -1;
}

// Reads one member of a JSON text.
int IntMember(const std::string& json, const char* name)
{
    cJSON* root = cJSON_Parse(json.c_str());
    const cJSON* item = cJSON_GetObjectItem(root, name);
    const int value = item != nullptr ? item->valueint : -1;
    cJSON_Delete(root);
    return value;
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

    // Waits (handling UI events) until the client thread ends by itself.
    bool WaitClientEnded(int timeoutMs = 10000)
    {
        if (!thread_.joinable()) {
            return true;
        }
        if (!PumpUntil([this] { return finished_.load(); }, timeoutMs)) {
            return false;
        }
        thread_.join();
        return true;
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
    StartClient();
    ASSERT_TRUE(WaitSubscribed());
    ASSERT_TRUE(ConnectFarSide());

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
    StartClient();
    ASSERT_TRUE(WaitSubscribed());
    ASSERT_TRUE(ConnectFarSide());

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
    for (int i = 0; i < 1000; ++i) {
        const std::string& line = entries[static_cast<size_t>(i)].line;
        ASSERT_EQ(IntMember(line.substr(line.find('{')), "seq"), i);
        ASSERT_EQ(entries[static_cast<size_t>(i)].lParam, 2987);
    }
}

TEST_F(MqttClient, EmptyPayloadIsNeverDispatched)
{
    StartClient();
    ASSERT_TRUE(WaitSubscribed());
    ASSERT_TRUE(ConnectFarSide());
    ASSERT_TRUE(PublishToPc("", 1));
    ASSERT_TRUE(PublishToPc("{\"cmdId\":3003,\"gw_sn\":\"GW1\"}", 1));
    ASSERT_TRUE(PumpUntil([&] { return window_.Count() >= 1; }));
    StopClient();
    const auto entries = window_.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].lParam, WM_USER + 1039);
    EXPECT_NE(ReadAll(out_).find(kPcTopic + " (null)\n"), std::string::npos);
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

TEST_F(MqttClient, FirstConnectionFailureIsRetriedUntilTheBrokerAnswers)
{
    broker_.Stop();
    StartClient();
    // The refused first attempt is reported; the loop keeps trying.
    ASSERT_TRUE(PumpUntil([&] { return FileSize(err_) > 0; }));
    ASSERT_TRUE(broker_.Start()) << broker_.Error().toStdString();
    ASSERT_TRUE(WaitSubscribed(1, 30000)) << broker_.Log().toStdString();
    StopClient();
    EXPECT_NE(ReadAll(err_).find("Error: Connection refused\n"), std::string::npos);
}

TEST_F(MqttClient, UnknownOptionInTheOptionsFileMeansNoConnection)
{
    ASSERT_TRUE(profile_.WriteOptions("--bogus\n"));
    StartClient();
    ASSERT_TRUE(WaitClientEnded());
    EXPECT_EQ(ReadAll(err_),
              "Error: Unknown option '--bogus'.\n\nUse 'mosquitto_sub --help' to see usage.\n");
    EXPECT_EQ(broker_.CountLogLines("New client connected"), 0);
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
    StartClient();
    ASSERT_TRUE(WaitSubscribed());
    ASSERT_TRUE(ConnectFarSide());
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

} // namespace
