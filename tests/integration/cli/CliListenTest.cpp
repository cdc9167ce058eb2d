// lumetra-cli listen against a real broker: it connects as the window's MQTT thread
// does, prints each dispatched message as one line, leaves cleanly on SIGINT and
// leaves its last will behind when it is killed.

#include "support/MosquittoBroker.h"
#include "support/MqttTestClient.h"
#include "support/PlatconfBuilder.h"
#include "support/TempDir.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <gtest/gtest.h>
#include <signal.h>

namespace {

class CliListenTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(broker.Start()) << broker.Error().toStdString();
        ASSERT_TRUE(PlatconfBuilder().WebService(1).Broker(broker).WriteTo(home.MakeDir("custom_resource") +
                                                                           "/platconf"));
        ASSERT_TRUE(peer.Connect(broker.Host(), broker.Port(), broker.User(), broker.Password()));
        ASSERT_TRUE(peer.Subscribe("/sys/lumetra/pfs/pc", 1));
    }

    void TearDown() override
    {
        if (cli.state() != QProcess::NotRunning) {
            cli.kill();
            cli.waitForFinished(5000);
        }
    }

    // Starts the listener and returns its PC identifier once it has subscribed.
    std::string StartListening()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LUMETRA_HOME", home.Path());
        cli.setProcessEnvironment(env);
        cli.start(QStringLiteral(LUMETRA_BIN_DIR "/lumetra-cli"), {QStringLiteral("listen")});
        EXPECT_TRUE(broker.WaitForLog(QStringLiteral("/lumetraToPC")));
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("/(\\d{20})/lumetraToPC")).match(broker.Log());
        return m.captured(1).toStdString();
    }

    QString ReadLinesUntil(int lines)
    {
        QString out;
        QDeadlineTimer deadline(10000);
        while (out.count(QLatin1Char('\n')) < lines && !deadline.hasExpired()) {
            cli.waitForReadyRead(100);
            out += QString::fromUtf8(cli.readAllStandardOutput());
        }
        return out;
    }

    MosquittoBroker broker;
    TempDir home;
    MqttTestClient peer{"cli-listen-peer"};
    QProcess cli;
};

TEST_F(CliListenTest, PrintsEachDispatchedMessageAndLeavesCleanlyOnSigint)
{
    const std::string pcId = StartListening();
    ASSERT_EQ(pcId.size(), 20u);
    const std::string topic = "/" + pcId + "/lumetraToPC";
    ASSERT_TRUE(peer.Publish(topic, R"({"cmdId":98,"flag":1,"gwSn":"GW1","lanIp":"10.0.0.2","csq":"21",)"
                                    R"("lanMask":"255.255.255.0"})"));
    ASSERT_TRUE(peer.Publish(topic, "not json"));
    ASSERT_TRUE(peer.Publish(topic, R"({"cmdId":1011,"gwSn":"GW1","devId":7})"));
    const QStringList lines = ReadLinesUntil(2).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << lines.join(QLatin1Char('|')).toStdString();
    // The gateway status report (kWmUser + 1009) as the view receives it, then the
    // serial-ready notice; the malformed message in between is not dispatched.
    EXPECT_EQ(lines[0].toStdString(),
              R"(2033 0 {"flag":1,"gwSn":"GW1","lanIp":"10.0.0.2","csq":"21","lanMask":"255.255.255.0"})");
    EXPECT_EQ(lines[1].toStdString(), R"(2048 0 {"gwSn":"GW1","devId":7})");

    ::kill(static_cast<pid_t>(cli.processId()), SIGINT);
    ASSERT_TRUE(cli.waitForFinished(10000));
    EXPECT_EQ(cli.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(cli.exitCode(), 0);
    // A clean disconnection: the broker never publishes the last will.
    EXPECT_FALSE(peer.WaitForMessages(1, 1500));
}

TEST_F(CliListenTest, KilledListenerLeavesItsLastWill)
{
    const std::string pcId = StartListening();
    cli.kill();
    ASSERT_TRUE(peer.WaitForMessages(1));
    const MqttTestClient::Message will = peer.Messages().front();
    EXPECT_EQ(will.payload, R"({"pc_id":")" + pcId + R"(","cmdId":3012})");
    EXPECT_EQ(will.qos, 1);
    EXPECT_FALSE(will.retain);
}

} // namespace
