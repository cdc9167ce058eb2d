// Starting and ending the VPN client for real. Every test here ends all processes
// whose name contains "openvpn" and may use the fixed management port, so the tests
// of this program run one at a time (resource lock "openvpn").

#include "NamedProcess.h"
#include "VpnServerRunner.h"

#include "endpoint/VpnStateParser.h"
#include "platform/MessageWindow.h"
#include "platform/WindowMessages.h"
#include "support/ProgramRun.h"
#include "support/PumpUntil.h"
#include "support/TempDir.h"

#include <QFileInfo>
#include <QTcpSocket>

#include <algorithm>
#include <vector>

namespace {

// Points the program folder at `folder` for one test and ends the clients after it.
struct ClientHome
{
    explicit ClientHome(const QString& folder) { qputenv("LUMETRA_HOME", QFile::encodeName(folder)); }
    ~ClientHome()
    {
        StopVpnClients();
        qunsetenv("LUMETRA_HOME");
    }
};

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(StopVpnClients, EndsEveryLowerCaseOpenvpnAndNothingElse)
{
    TempDir dir;
    NamedProcess first(dir.Path(), "lumetra-openvpn-sleep"); // the kernel's name ends in "openvpn"
    NamedProcess second(dir.Path(), "openvpn-" + RandomLetters(6));
    NamedProcess other(dir.Path(), "OpenVPN-sleep");
    ASSERT_TRUE(first.IsUp() && second.IsUp() && other.IsUp());

    StopVpnClients();
    EXPECT_FALSE(ProcessLauncher::IsRunning(first.Pid()));
    EXPECT_FALSE(ProcessLauncher::IsRunning(second.Pid()));
    EXPECT_TRUE(ProcessLauncher::IsRunning(other.Pid()));
    EXPECT_EQ(FindProcessId("openvpn"), 0);
    // Nothing left to end: returns at once.
    StopVpnClients();
    EXPECT_TRUE(ProcessLauncher::IsRunning(other.Pid()));
}

TEST(StartVpnClient, RunsTheClientCommandInTheWorkingFolder)
{
    // A stand-in client first on PATH records how it was started, then waits under a
    // name that contains "openvpn".
    ProgramRun::EnsureApplication();
    TempDir dir;
    const QString bin = dir.MakeDir("bin");
    ASSERT_TRUE(QFile::copy("/bin/sleep", bin + "/openvpn-waiting"));
    const QString record = dir.FilePath("record");
    dir.Write("bin/openvpn", QString("#!/bin/sh\nprintf '%s\\n' \"$@\" > '%1.tmp'\npwd -P >> '%1.tmp'\n"
                                     "mv '%1.tmp' '%1'\nexec '%2/openvpn-waiting' 300\n")
                                 .arg(record, bin)
                                 .toUtf8());
    QFile::setPermissions(bin + "/openvpn", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString working = dir.MakeDir("home/lumetra");
    ClientHome home(dir.FilePath("home"));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin) + ":" + path);
    // A client left over from before is ended first.
    NamedProcess leftover(dir.Path(), "old-openvpn");
    ASSERT_TRUE(leftover.IsUp());

    const bool started = StartVpnClient();
    qputenv("PATH", path);
    ASSERT_TRUE(started);
    EXPECT_FALSE(ProcessLauncher::IsRunning(leftover.Pid()));
    ASSERT_TRUE(PumpUntil([&] { return QFileInfo::exists(record); }));
    EXPECT_EQ(ReadAll(record).toStdString(),
              "--config\nzelqnet_client.ovpn\n--management\n127.0.0.1\n25341\n" +
                  QFileInfo(working).canonicalFilePath().toStdString() + "\n");
    EXPECT_TRUE(PumpUntil([] { return FindProcessId("openvpn-waiting") != 0; }));
}

// Records the link messages.
class LinkWindow : public MessageWindow
{
public:
    LRESULT WindowProc(UINT msg, WPARAM, LPARAM) override
    {
        messages.push_back(msg);
        return 0;
    }
    std::vector<UINT> messages;
};

TEST(StartVpnClient, RealClientReportsConnectedOnItsManagementPort)
{
    VpnServerRunner::Options options;
    std::string reason;
    if (!VpnServerRunner::CanRun(options, &reason))
        GTEST_SKIP() << "a real tunnel cannot be brought up: " << reason;
    ProgramRun::EnsureApplication();
    TempDir dir;
    ClientHome home(dir.Path());
    const QString log = dir.FilePath("lumetra/openvpn-trace.log");
    options.caCopyPath = dir.FilePath("lumetra/ca.crt").toStdString();
    VpnServerRunner server;
    ASSERT_TRUE(server.Start(options, &reason)) << reason;
    WriteProfile(server.Host(), std::to_string(server.Port()));
    WriteCredentials("gw-maintenance");
    ASSERT_TRUE(StartVpnClient());

    // The management port listens a few milliseconds after the start.
    QTcpSocket management;
    ASSERT_TRUE(PumpUntil(
        [&] {
            management.abort();
            management.connectToHost(kVpnManagementHost, kVpnManagementPort);
            return management.waitForConnected(1000);
        },
        15000))
        << ReadAll(log).toStdString();

    LinkWindow window;
    QByteArray seen;
    QObject::connect(&management, &QTcpSocket::readyRead, [&] {
        // As the status socket reads: chunks of at most 1024 bytes.
        while (management.bytesAvailable() > 0) {
            const QByteArray chunk = management.read(1024);
            seen += chunk;
            VpnStateParser::Feed(chunk.constData(), static_cast<size_t>(chunk.size()), &window);
        }
    });
    ASSERT_EQ(management.write("state on\n"), 9);
    const bool up = PumpUntil(
        [&] {
            return std::find(window.messages.begin(), window.messages.end(), WM_VPN_LINK_UP) !=
                   window.messages.end();
        },
        30000);
    EXPECT_TRUE(up) << "management said:\n"
                    << seen.toStdString() << "\nclient log:\n"
                    << ReadAll(log).toStdString();
    EXPECT_TRUE(seen.contains(",CONNECTED,SUCCESS,")) << seen.toStdString();
    ASSERT_FALSE(window.messages.empty());
    EXPECT_EQ(window.messages.back(), WM_VPN_LINK_UP);
    management.abort();
}

} // namespace
