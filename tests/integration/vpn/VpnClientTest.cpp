// Starting and ending the VPN client for real. Every test here ends all processes
// whose name contains "openvpn" and may use the fixed management port, so the tests
// of this program run one at a time (resource lock "openvpn").

#include "NamedProcess.h"

#include "endpoint/VpnClientControl.h"
#include "endpoint/VpnStateParser.h"
#include "platform/MessageWindow.h"
#include "platform/ProcessLauncher.h"
#include "platform/WindowMessages.h"
#include "support/FreePort.h"
#include "support/ProgramRun.h"
#include "support/PumpUntil.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QThread>

#include <fcntl.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// Points the program folder somewhere else for one test.
class ProgramFolderOverride
{
public:
    explicit ProgramFolderOverride(const QString& folder)
        : previous_(qgetenv("LUMETRA_HOME")), hadPrevious_(qEnvironmentVariableIsSet("LUMETRA_HOME"))
    {
        qputenv("LUMETRA_HOME", QFile::encodeName(folder));
    }
    ~ProgramFolderOverride()
    {
        if (hadPrevious_)
            qputenv("LUMETRA_HOME", previous_);
        else
            qunsetenv("LUMETRA_HOME");
    }

private:
    QByteArray previous_;
    bool hadPrevious_;
};

QString RandomLetters(int length)
{
    QString letters;
    for (int i = 0; i < length; ++i)
        letters += QChar('a' + static_cast<char>(QRandomGenerator::global()->bounded(26)));
    return letters;
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return done();
        QThread::msleep(5);
    }
    return true;
}

TEST(StopVpnClients, EndsEveryLowerCaseOpenvpnAndNothingElse)
{
    TempDir dir;
    NamedProcess first(dir.Path(), "lumetra-openvpn-sleep");
    NamedProcess second(dir.Path(), "openvpn-" + RandomLetters(6));
    NamedProcess other(dir.Path(), "OpenVPN-sleep");
    ASSERT_TRUE(first.IsUp() && second.IsUp() && other.IsUp());
    EXPECT_EQ(first.KernelName(), "lumetra-openvpn");
    EXPECT_NE(FindProcessId("openvpn"), 0);

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
    // A stand-in client first on PATH records how it was started, then waits
    // under a name that contains "openvpn".
    TempDir dir;
    const QString bin = dir.MakeDir("bin");
    ASSERT_TRUE(QFile::copy("/bin/sleep", bin + "/openvpn-waiting"));
    const QString record = dir.FilePath("record");
    dir.Write("bin/openvpn", QString("#!/bin/sh\n"
                                     "printf '%s\\n' \"$@\" > '%1.tmp'\n"
                                     "pwd -P >> '%1.tmp'\n"
                                     "mv '%1.tmp' '%1'\n"
                                     "exec '%2/openvpn-waiting' 300\n")
                                 .arg(record, bin)
                                 .toUtf8());
    QFile::setPermissions(bin + "/openvpn", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString home = dir.MakeDir("home");
    const QString working = dir.MakeDir("home/lumetra");
    ProgramFolderOverride folder(home);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin) + ":" + path);

    // A client left over from before is ended first.
    NamedProcess leftover(dir.Path(), "old-openvpn");
    ASSERT_TRUE(leftover.IsUp());

    const bool started = StartVpnClient();
    qputenv("PATH", path);
    ASSERT_TRUE(started);
    EXPECT_FALSE(ProcessLauncher::IsRunning(leftover.Pid()));

    ASSERT_TRUE(WaitFor([&] { return QFileInfo::exists(record); }, 10000));
    EXPECT_EQ(ReadAll(record).toStdString(),
              "--config\nzelqnet_client.ovpn\n--management\n127.0.0.1\n25341\n" +
                  QFileInfo(working).canonicalFilePath().toStdString() + "\n");
    EXPECT_TRUE(WaitFor([] { return FindProcessId("openvpn-waiting") != 0; }, 10000));

    StopVpnClients();
    EXPECT_EQ(FindProcessId("openvpn"), 0);
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

// Why a real tunnel cannot be brought up here, or empty when it can.
std::string WhyNoRealTunnel(QString& openvpn)
{
    if (geteuid() != 0)
        return "not running as root";
    int tun = open("/dev/net/tun", O_RDWR | O_CLOEXEC);
    if (tun < 0)
        return "/dev/net/tun cannot be opened";
    close(tun);
    openvpn = QStandardPaths::findExecutable("openvpn", {"/usr/sbin", "/usr/local/sbin", "/usr/bin"});
    if (openvpn.isEmpty())
        return "no openvpn program";
    if (QStandardPaths::findExecutable("openssl").isEmpty())
        return "no openssl program";
    return std::string();
}

// A VPN server on loopback from a renamed copy of the openvpn program, with
// throwaway certificates and a password check that answers after 1.5 s (so the
// client's state reports follow the "state on" command, as across the internet).
class LoopbackVpnServer
{
public:
    LoopbackVpnServer(const QString& openvpn, const QString& folder) : folder_(folder)
    {
        const std::string dir = folder.toStdString();
        Write("server.ext", "basicConstraints=CA:FALSE\n"
                            "keyUsage=critical,digitalSignature,keyEncipherment\n"
                            "extendedKeyUsage=serverAuth\n"
                            "subjectKeyIdentifier=hash\n"
                            "authorityKeyIdentifier=keyid,issuer\n");
        const ProcessLauncher::Captured certs = ProcessLauncher::RunCaptured(
            "set -e\n"
            "openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.crt -days 30 -subj /CN=test-ca "
            "-addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign\n"
            "openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj /CN=test-server\n"
            "openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -out server.crt -days "
            "30 "
            "-extfile server.ext\n",
            dir);
        if (!QFileInfo::exists(folder + "/server.crt")) {
            ADD_FAILURE() << "certificates not made:\n" << certs.output;
            return;
        }
        Write("checkpw.sh", "#!/bin/sh\n"
                            "sleep 1.5\n"
                            "user=$(sed -n 1p \"$1\")\n"
                            "pass=$(sed -n 2p \"$1\")\n"
                            "[ -n \"$user\" ] && [ \"$pass\" = 730158 ]\n");
        QFile::setPermissions(folder + "/checkpw.sh", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                          QFile::ReadOther | QFile::ExeOther);
        port_ = FreePort::Pick();
        const QString net = QString("10.%1.%2")
                                .arg(64 + QRandomGenerator::global()->bounded(128))
                                .arg(QRandomGenerator::global()->bounded(250));
        Write("server.conf", QString("cd %1\n"
                                     "mode server\n"
                                     "tls-server\n"
                                     "local 127.0.0.1\n"
                                     "port %2\n"
                                     "proto tcp-server\n"
                                     "dev tun\n"
                                     "topology subnet\n"
                                     "ifconfig %3.1 255.255.255.0\n"
                                     "ifconfig-pool %3.2 %3.200 255.255.255.0\n"
                                     "push \"topology subnet\"\n"
                                     "push \"route-gateway %3.1\"\n"
                                     "ca ca.crt\n"
                                     "cert server.crt\n"
                                     "key server.key\n"
                                     "dh none\n"
                                     "verify-client-cert none\n"
                                     "username-as-common-name\n"
                                     "duplicate-cn\n"
                                     "script-security 2\n"
                                     "auth-user-pass-verify %1/checkpw.sh via-file\n"
                                     "tmp-dir %1\n"
                                     "comp-lzo\n"
                                     "allow-compression yes\n"
                                     "keepalive 10 60\n"
                                     "persist-key\n"
                                     "persist-tun\n"
                                     "verb 3\n"
                                     "log server.log\n")
                                 .arg(folder)
                                 .arg(port_)
                                 .arg(net)
                                 .toUtf8());
        // The client ends every process whose name contains "openvpn": the server
        // runs under another name.
        if (!QFile::copy(openvpn, folder + "/vpnserverd")) {
            ADD_FAILURE() << "cannot copy " << openvpn.toStdString();
            return;
        }
        pid_ = ProcessLauncher::StartHidden("exec ./vpnserverd --config server.conf >server.out 2>&1", dir);
    }

    ~LoopbackVpnServer()
    {
        if (pid_ != 0) {
            ProcessLauncher::Kill(pid_);
            ProcessLauncher::WaitGone(pid_, 5000);
        }
    }

    // Waits until the server is ready for clients.
    bool WaitReady()
    {
        return pid_ != 0 &&
               WaitFor(
                   [&] {
                       return Log().contains("Initialization Sequence Completed") ||
                              !ProcessLauncher::IsRunning(pid_);
                   },
                   20000) &&
               ProcessLauncher::IsRunning(pid_);
    }

    int Port() const { return port_; }
    QString CaPath() const { return folder_ + "/ca.crt"; }
    QByteArray Log() const { return ReadAll(folder_ + "/server.out") + ReadAll(folder_ + "/server.log"); }

private:
    void Write(const QString& name, const QByteArray& text)
    {
        QFile file(folder_ + "/" + name);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size())
            ADD_FAILURE() << "cannot write " << name.toStdString();
    }

    QString folder_;
    int port_ = 0;
    int64_t pid_ = 0;
};

// Ends the clients whatever happens in the test.
struct ClientsEnder
{
    ~ClientsEnder() { StopVpnClients(); }
};

TEST(StartVpnClient, RealClientReportsConnectedOnItsManagementPort)
{
    QString openvpn;
    const std::string reason = WhyNoRealTunnel(openvpn);
    if (!reason.empty())
        GTEST_SKIP() << "a real tunnel cannot be brought up: " << reason;
    ProgramRun::EnsureApplication();

    TempDir dir;
    LoopbackVpnServer server(openvpn, dir.MakeDir("server"));
    ASSERT_TRUE(server.WaitReady()) << server.Log().toStdString();

    const QString home = dir.MakeDir("home");
    ProgramFolderOverride folder(home);
    WriteProfile("127.0.0.1", std::to_string(server.Port()));
    WriteCredentials("gw-maintenance");
    ASSERT_TRUE(QFile::copy(server.CaPath(), home + "/lumetra/ca.crt"));

    ClientsEnder ender;
    ASSERT_TRUE(StartVpnClient());

    // The management port listens a few milliseconds after the start.
    QTcpSocket management;
    const bool connected = WaitFor(
        [&] {
            management.abort();
            management.connectToHost(kVpnManagementHost, kVpnManagementPort);
            return management.waitForConnected(1000);
        },
        15000);
    ASSERT_TRUE(connected) << ReadAll(home + "/lumetra/openvpn-trace.log").toStdString();

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
            for (UINT msg : window.messages)
                if (msg == WM_VPN_LINK_UP)
                    return true;
            return false;
        },
        30000);
    EXPECT_TRUE(up) << "management said:\n"
                    << seen.toStdString() << "\nclient log:\n"
                    << ReadAll(home + "/lumetra/openvpn-trace.log").toStdString() << "\nserver log:\n"
                    << server.Log().toStdString();
    EXPECT_TRUE(seen.contains(",CONNECTED,SUCCESS,")) << seen.toStdString();
    // Every state before the link came up reported it down.
    ASSERT_FALSE(window.messages.empty());
    EXPECT_EQ(window.messages.back(), WM_VPN_LINK_UP);

    management.abort();
    StopVpnClients();
    EXPECT_EQ(FindProcessId("openvpn"), 0);
}

} // namespace
