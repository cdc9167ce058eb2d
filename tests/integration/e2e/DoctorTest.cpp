// lumetra-cli doctor against the whole far side on loopback. The local ports are checked
// on a loopback address of the test's own ("listen_host"), away from other programs.

#include "OpenBed.h"
#include "app/Installation.h"
#include "support/PlatconfBuilder.h"

#include <QFile>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

#include <unistd.h>

namespace {

constexpr const char* kListenHost = "127.83.41.7";

// The output line of the check `name` in the last run, or empty when there is none.
QString CheckLine(const QString& out, const QString& name)
{
    const QStringList lines = out.split('\n');
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        if (line->mid(5).startsWith(name + " ") || line->mid(5) == name)
            return *line;
    }
    return QString();
}

class DoctorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        bed.SetPlatconfText("listen_host", kListenHost);
        ASSERT_TRUE(bed.StartWithControl()) << bed.Error().toStdString();
    }

    // Runs the doctor to its end; its exit status.
    int Doctor()
    {
        bed.RunCli({"doctor"});
        return bed.WaitForExit(40000);
    }

    // The check `name` failed: its line starts with FAIL and holds `detail` and a fix.
    void ExpectFailed(const QString& name, const QString& detail, const QString& fix)
    {
        const QString line = CheckLine(bed.Out(), name);
        EXPECT_TRUE(line.startsWith("FAIL " + name)) << bed.Out().toStdString();
        EXPECT_TRUE(line.contains(detail)) << line.toStdString();
        EXPECT_TRUE(line.contains(QString::fromUtf8("\u2014 fix: ") + fix)) << line.toStdString();
        EXPECT_TRUE(bed.Out().contains(QRegularExpression(
            "^doctor: failed: .*" + QRegularExpression::escape(name), QRegularExpression::MultilineOption)))
            << bed.Out().toStdString();
    }

    void ExpectPassed(const QString& name)
    {
        EXPECT_TRUE(CheckLine(bed.Out(), name).startsWith("ok   " + name)) << bed.Out().toStdString();
    }

    // Writes the installation's custom resource file again with `name` set to `text`
    // (the far side keeps what it read at its start).
    void RewritePlatconf(const std::string& name, const std::string& text)
    {
        Installation installation(bed.Home());
        installation.LoadCustomResources();
        PlatconfBuilder builder;
        for (const auto& entry : installation.Resources()) {
            builder.Bytes(entry->name, QByteArray(reinterpret_cast<const char*>(entry->data.data()),
                                                  static_cast<qsizetype>(entry->data.size())));
            builder.Rect(entry->name, entry->left, entry->top, entry->right, entry->bottom);
        }
        builder.Text(name, text);
        ASSERT_TRUE(builder.WriteTo(bed.HomeFile("custom_resource/platconf"))) << builder.Problem();
    }

    OpenBed bed;
};

TEST_F(DoctorTest, EveryCheckPassesWhileEveryPartRuns)
{
    ASSERT_EQ(Doctor(), 0) << bed.Out().toStdString() << bed.Err().toStdString();
    for (const char* name :
         {"web service", "sign-in", "broker", "port-transfer server", "relay server", "virtual COM folder",
          "lumetra-vcom", "local port 102", "local port 502", "local port 5562", "local port 9600"})
        ExpectPassed(name);
    EXPECT_TRUE(CheckLine(bed.Out(), "broker")
                    .contains("message back from /" + QString::fromStdString(bed.PcId()) + "/lumetraToPC"))
        << bed.Out().toStdString();
    EXPECT_TRUE(CheckLine(bed.Out(), "local port 502").contains(QString(kListenHost) + ":502"));
    // OpenVPN is a warning at most: only the maintenance channel needs it.
    const QString vpn = CheckLine(bed.Out(), "OpenVPN");
    EXPECT_TRUE(vpn.startsWith("ok   OpenVPN") || vpn.startsWith("warn OpenVPN")) << bed.Out().toStdString();
    EXPECT_TRUE(bed.Out().contains("doctor: all needed checks passed")) << bed.Out().toStdString();
}

TEST_F(DoctorTest, WrongBrokerPasswordIsRefusedAndAStoppedBrokerFailsTheBrokerCheck)
{
    RewritePlatconf("bpassword", "not-the-password");
    EXPECT_EQ(Doctor(), 1) << bed.Out().toStdString();
    const QString broker = "127.0.0.1:" + QString::number(bed.Broker().Port());
    ExpectFailed("broker",
                 "refused: ", "the broker at " + broker + " does not accept the account \"lumetra\"");
    ExpectPassed("sign-in");

    bed.Broker().Stop();
    EXPECT_EQ(Doctor(), 1) << bed.Out().toStdString();
    ExpectFailed("broker", broker, "check that the broker at");
    ExpectPassed("web service");
    ExpectPassed("relay server");
}

TEST_F(DoctorTest, StoppedTunnelServersFailTheirChecks)
{
    Installation installation(bed.Home());
    installation.LoadCustomResources();
    const int relayPort = std::stoi(installation.ResourceText("relay_port"));
    QTcpSocket control;
    // Both tunnel servers close for 20 s.
    ASSERT_TRUE(bed.SendControl("restart 20000", control));
    // Bounded wait until the relay refuses connections.
    for (int attempt = 0; attempt < 100; ++attempt) {
        QTcpSocket probe;
        probe.connectToHost("127.0.0.1", static_cast<quint16>(relayPort));
        if (!probe.waitForConnected(1000))
            break;
        probe.abort();
        control.waitForReadyRead(50);
    }
    EXPECT_EQ(Doctor(), 1) << bed.Out().toStdString();
    ExpectFailed("relay server", "Connection refused", "check that the relay server at 127.0.0.1:");
    ExpectFailed("port-transfer server", "Connection refused", "check that the port-transfer server at");
    ExpectPassed("broker");
}

TEST_F(DoctorTest, LocalPortHeldByAnotherProgramIsNamed)
{
    QTcpServer holder;
    if (!holder.listen(QHostAddress(kListenHost), 502))
        GTEST_SKIP() << kListenHost << ":502 cannot be bound here: " << holder.errorString().toStdString();
    EXPECT_EQ(Doctor(), 1) << bed.Out().toStdString();
    ExpectFailed("local port 502", "in use by ", "end ");
    EXPECT_TRUE(CheckLine(bed.Out(), "local port 502").contains("(pid " + QString::number(getpid()) + ")"))
        << bed.Out().toStdString();
    ExpectPassed("local port 9600");
}

// A device was given an address of its own beside the default one: its port is
// checked there too.
TEST_F(DoctorTest, LocalPortHeldOnADevicesRememberedAddressIsFound)
{
    QFile book(bed.HomeFile("tunnel_addresses"));
    ASSERT_TRUE(book.open(QIODevice::WriteOnly));
    book.write("127.0.1.9 PLC-TCP\n");
    book.close();
    ASSERT_TRUE(book.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    QTcpServer holder;
    if (!holder.listen(QHostAddress("127.0.1.9"), 502))
        GTEST_SKIP() << "127.0.1.9:502 cannot be bound here: " << holder.errorString().toStdString();
    EXPECT_EQ(Doctor(), 1) << bed.Out().toStdString();
    ExpectFailed("local port 502", "in use by ", "end ");
    EXPECT_TRUE(CheckLine(bed.Out(), "local port 502").contains("127.0.1.9:502")) << bed.Out().toStdString();
    EXPECT_TRUE(CheckLine(bed.Out(), "local port 9600").contains("free on 2 addresses"))
        << bed.Out().toStdString();
}

} // namespace
