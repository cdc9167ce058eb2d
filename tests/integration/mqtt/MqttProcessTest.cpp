// The MQTT client in its own process: the broker publishes the PC's will when the
// process dies without disconnecting, and wrong credentials are reported without
// ending the process.

#include "support/MosquittoBroker.h"
#include "support/MqttTestClient.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QProcess>

#include <csignal>
#include <sys/prctl.h>

namespace {

const char kPc[] = "17250000009876543210";

class MqttClientProcess : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(broker_.Start()) << broker_.Error().toStdString(); }

    void TearDown() override
    {
        if (probe_.state() != QProcess::NotRunning) {
            probe_.kill();
            probe_.waitForFinished(10000);
        }
        broker_.Stop();
    }

    void StartProbe(const QString& password)
    {
        probe_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
        probe_.start(MQTT_CLIENT_PROBE, {kPc, QString::fromStdString(broker_.Host()),
                                         QString::number(broker_.Port()), MosquittoBroker::kUser, password});
        ASSERT_TRUE(probe_.waitForStarted(10000));
    }

    // Reads the probe's output until `text` shows up on the channel; false at the
    // time-out or when the probe ended.
    bool WaitForOutput(QProcess::ProcessChannel channel, const QByteArray& text, int timeoutMs = 15000)
    {
        QByteArray& seen = channel == QProcess::StandardOutput ? out_ : err_;
        QDeadlineTimer deadline(timeoutMs);
        while (!seen.contains(text)) {
            if (deadline.hasExpired() || probe_.state() == QProcess::NotRunning) {
                return false;
            }
            probe_.waitForReadyRead(100);
            out_ += probe_.readAllStandardOutput();
            err_ += probe_.readAllStandardError();
        }
        return true;
    }

    MosquittoBroker broker_;
    QProcess probe_;
    QByteArray out_;
    QByteArray err_;
};

TEST_F(MqttClientProcess, WillIsPublishedWhenTheProcessIsKilled)
{
    MqttTestClient watcher("will-watcher");
    ASSERT_TRUE(watcher.Connect(broker_.Host(), broker_.Port(), broker_.User(), broker_.Password()));
    ASSERT_TRUE(watcher.Subscribe("/sys/lumetra/pfs/pc", 1));

    StartProbe(MosquittoBroker::kPassword);
    ASSERT_TRUE(WaitForOutput(QProcess::StandardOutput, "Subscribed (mid: 1): 2\n"))
        << out_.toStdString() << err_.toStdString();
    EXPECT_TRUE(watcher.Messages().empty());

    probe_.kill();
    ASSERT_TRUE(probe_.waitForFinished(10000));
    ASSERT_TRUE(watcher.WaitForMessages(1));
    const auto messages = watcher.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].topic, "/sys/lumetra/pfs/pc");
    EXPECT_EQ(messages[0].payload, std::string("{\"pc_id\":\"") + kPc + "\",\"cmdId\":3012}");
    EXPECT_EQ(messages[0].qos, 1);
    EXPECT_FALSE(messages[0].retain);
}

TEST_F(MqttClientProcess, DispatchedMessagesArePrintedAsLines)
{
    StartProbe(MosquittoBroker::kPassword);
    ASSERT_TRUE(WaitForOutput(QProcess::StandardOutput, "Subscribed (mid: 1): 2\n"));
    MqttTestClient farSide("far-side");
    ASSERT_TRUE(farSide.Connect(broker_.Host(), broker_.Port(), broker_.User(), broker_.Password()));
    const std::string status =
        "{\"cmdId\":98,\"flag\":1,\"gwSn\":\"GW9\",\"lanIp\":\"10.1.0.1\",\"csq\":\"18\","
        "\"lanMask\":\"255.255.0.0\"}";
    ASSERT_TRUE(farSide.Publish(std::string("/") + kPc + "/lumetraToPC", status, 2));
    // The gateway status record is printed with its fields.
    ASSERT_TRUE(WaitForOutput(QProcess::StandardOutput,
                              "\n2033 0 {\"flag\":1,\"gwSn\":\"GW9\",\"lanIp\":\"10.1.0.1\",\"csq\":\"18\","
                              "\"lanMask\":\"255.255.0.0\"}\n"))
        << out_.toStdString();
}

TEST_F(MqttClientProcess, WrongCredentialsGiveTheRefusalTextAndNoCrash)
{
    StartProbe("not-the-password");
    ASSERT_TRUE(WaitForOutput(QProcess::StandardError, "Connection Refused: not authorised.\n"))
        << err_.toStdString();
    // The library keeps retrying; the process is still alive.
    ASSERT_TRUE(broker_.WaitForLog("disconnected, not authorised", 2, 30000));
    EXPECT_EQ(probe_.state(), QProcess::Running);
    EXPECT_EQ(broker_.CountLogLines("Will message specified"), 0);
}

} // namespace
