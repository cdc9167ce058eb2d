// Starting and ending the VPN client for real. Every test here ends all processes
// whose name contains "openvpn", so the tests of this program run one at a time
// (resource lock "openvpn"). The real client meeting a real server, with its link
// state read from the management port, is the end-to-end VPN channel test.

#include "NamedProcess.h"

#include "support/ProgramRun.h"
#include "support/PumpUntil.h"
#include "support/TempDir.h"

#include <QFileInfo>

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

} // namespace
