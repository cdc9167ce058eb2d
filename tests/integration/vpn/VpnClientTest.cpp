// Starting and ending the VPN client with real processes. The client program is the
// OpenVPN stand-in first on PATH (these tests are about which processes start and
// end, not about the VPN); bystanders are copies of the system's sleep program under
// names that contain "openvpn". The tests of this program start processes called
// "openvpn", so they run one at a time (resource lock "openvpn"). The real client meeting a real server is
// the end-to-end VPN channel test.

#include "endpoint/VpnClientControl.h"
#include "endpoint/VpnClientRecord.h"
#include "support/NamedProcess.h"
#include "support/OpenVpnStandIn.h"
#include "support/ScopedEnv.h"
#include "support/ScopedUmask.h"
#include "support/TempDir.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// Points the program folder at `<dir>/home` for one test, with its working folder
// made, and ends the client after it.
class ClientHome
{
public:
    explicit ClientHome(const TempDir& dir)
        : home_("LUMETRA_HOME", QFile::encodeName(dir.FilePath("home")).toStdString()),
          working_(dir.MakeDir("home/lumetra"))
    {
    }
    ~ClientHome() { StopVpnClients(); }

    QString Working() const { return working_; }
    QString RecordPath() const { return working_ + "/" + kVpnRecordFile; }
    std::optional<VpnClientRecord> Record() const
    {
        return VpnClientRecord::Load(RecordPath().toStdString());
    }
    // Writes a record file as a run of the program would have left it.
    void WriteRecord(int64_t pid, uint64_t startTime, int64_t ownerPid, uint64_t ownerStartTime) const
    {
        VpnClientRecord record;
        record.pid = pid;
        record.startTime = startTime;
        record.ownerPid = ownerPid;
        record.ownerStartTime = ownerStartTime;
        ASSERT_TRUE(record.Save(RecordPath().toStdString()));
    }

private:
    ScopedEnv home_;
    QString working_;
};

// The id of a process that has ended (and been reaped), to stand for a program run
// that is over.
int64_t EndedProcessId()
{
    char arg0[] = "true";
    char* argv[] = {arg0, nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, "/bin/true", nullptr, nullptr, argv, environ) != 0)
        return 0;
    int status = 0;
    waitpid(pid, &status, 0);
    return pid;
}

TEST(StartVpnClient, RunsTheClientItselfInTheWorkingFolderAndRecordsItPrivately)
{
    TempDir dir;
    ClientHome home(dir);
    OpenVpnStandIn standIn(dir.MakeDir("bin"));
    ASSERT_TRUE(standIn.IsInstalled());

    ASSERT_TRUE(StartVpnClient());
    const QStringList record = standIn.WaitForRecord();
    ASSERT_FALSE(record.isEmpty());
    const int64_t pid = record.front().toLongLong();
    EXPECT_EQ(record.mid(1), (QStringList{"--config", "zelqnet_client.ovpn", "--management", "127.0.0.1",
                                          "25341", QFileInfo(home.Working()).canonicalFilePath()}));
    // One process, the client itself: no shell stands between.
    EXPECT_EQ(standIn.Running(), std::vector<int64_t>{pid});
    EXPECT_EQ(KernelNameOf(pid), "openvpn");

    // The record file names exactly that process and this program, readable by the
    // owner only.
    EXPECT_EQ(ScopedUmask::ModeOf(home.RecordPath().toStdString()), 0600);
    const std::optional<VpnClientRecord> written = home.Record();
    ASSERT_TRUE(written.has_value());
    EXPECT_EQ(written->pid, pid);
    EXPECT_EQ(written->startTime, platform::ProcessLauncher::StartTime(pid));
    EXPECT_EQ(written->ownerPid, static_cast<int64_t>(getpid()));
    EXPECT_EQ(written->ownerStartTime, platform::ProcessLauncher::StartTime(getpid()));

    // Closing ends it with SIGTERM and forgets it.
    StopVpnClients();
    EXPECT_TRUE(standIn.Running().empty());
    EXPECT_EQ(standIn.Terms(), QStringList{"TERM " + QString::number(pid)});
    EXPECT_FALSE(QFileInfo::exists(home.RecordPath()));
}

TEST(StartVpnClient, WithoutTheProgramOnPathStartsAndRecordsNothing)
{
    TempDir dir;
    ClientHome home(dir);
    ScopedEnv path("PATH", QFile::encodeName(dir.MakeDir("empty")).toStdString());
    EXPECT_FALSE(StartVpnClient());
    EXPECT_FALSE(QFileInfo::exists(home.RecordPath()));
}

TEST(StopVpnClients, EndsOnlyTheClientItStartedAtStartUpRestartCloseAndExit)
{
    TempDir dir;
    ClientHome home(dir);
    // A program whose name merely contains "openvpn", and another user's client
    // called exactly "openvpn".
    NamedProcess bystander(dir.Path(), "openvpn-bystander");
    NamedProcess otherClient(dir.MakeDir("other"), "openvpn");
    ASSERT_TRUE(bystander.IsUp() && otherClient.IsUp());
    OpenVpnStandIn standIn(dir.MakeDir("bin"));
    auto bystandersRun = [&] { return bystander.IsRunning() && otherClient.IsRunning(); };

    StopVpnClients(); // what the window does at start-up
    EXPECT_TRUE(bystandersRun());

    ASSERT_TRUE(StartVpnClient());
    const QStringList first = standIn.WaitForRecord();
    ASSERT_FALSE(first.isEmpty());
    EXPECT_TRUE(bystandersRun());

    // A second start ends the first client, and only it.
    standIn.ForgetRecord();
    ASSERT_TRUE(StartVpnClient());
    const QStringList second = standIn.WaitForRecord();
    ASSERT_FALSE(second.isEmpty());
    EXPECT_EQ(standIn.Running(), std::vector<int64_t>{second.front().toLongLong()});
    EXPECT_EQ(standIn.Terms(), QStringList{"TERM " + first.front()});
    EXPECT_TRUE(bystandersRun());

    StopVpnClients(); // channel close
    EXPECT_TRUE(standIn.Running().empty());
    EXPECT_EQ(standIn.Terms(), (QStringList{"TERM " + first.front(), "TERM " + second.front()}));
    EXPECT_TRUE(bystandersRun());

    StopVpnClients(); // quitting
    EXPECT_TRUE(bystandersRun());
    EXPECT_EQ(standIn.Terms().size(), 2);
}

TEST(StopVpnClients, KillsAClientThatOutlivesTheGracePeriodAfterAskingFirst)
{
    TempDir dir;
    ClientHome home(dir);
    OpenVpnStandIn standIn(dir.MakeDir("bin"), OpenVpnStandIn::OnTerm::Stay);
    ASSERT_TRUE(StartVpnClient());
    const QStringList record = standIn.WaitForRecord();
    ASSERT_FALSE(record.isEmpty());

    QElapsedTimer clock;
    clock.start();
    StopVpnClients();
    // Asked with SIGTERM, given the grace period, then killed.
    EXPECT_TRUE(standIn.Running().empty());
    EXPECT_EQ(standIn.Terms(), QStringList{"TERM " + record.front()});
    EXPECT_GE(clock.elapsed(), kVpnTermGraceMs);
}

TEST(StopVpnClients, EndsAClientLeftByACrashedRunOnlyWhileItIsStillThatClient)
{
    TempDir dir;
    ClientHome home(dir);
    const QString others = dir.MakeDir("others");
    NamedProcess left(others, "openvpn-left");
    NamedProcess unrelated(others, "sleeper-" + RandomLetters(4));
    NamedProcess otherInstance(others, "lumetra-" + RandomLetters(4)); // a running program of ours
    ASSERT_TRUE(left.IsUp() && unrelated.IsUp() && otherInstance.IsUp());
    const uint64_t leftStart = platform::ProcessLauncher::StartTime(left.Pid());
    const int64_t gone = EndedProcessId();
    ASSERT_NE(gone, 0);

    // The id has been given to another process since: a different start time.
    home.WriteRecord(left.Pid(), leftStart + 1, gone, 1);
    StopVpnClients();
    EXPECT_TRUE(left.IsRunning());
    EXPECT_FALSE(QFileInfo::exists(home.RecordPath()));

    // The right start time, but no OpenVPN by its name.
    home.WriteRecord(unrelated.Pid(), platform::ProcessLauncher::StartTime(unrelated.Pid()), gone, 1);
    StopVpnClients();
    EXPECT_TRUE(unrelated.IsRunning());
    EXPECT_FALSE(QFileInfo::exists(home.RecordPath()));

    // The client of another running instance is not a leftover: kept, record and all.
    home.WriteRecord(left.Pid(), leftStart, otherInstance.Pid(),
                     platform::ProcessLauncher::StartTime(otherInstance.Pid()));
    StopVpnClients();
    EXPECT_TRUE(left.IsRunning());
    ASSERT_TRUE(home.Record().has_value());
    EXPECT_EQ(home.Record()->pid, left.Pid());

    // A damaged record names nothing: it is removed and nothing ends.
    ASSERT_FALSE(dir.Write("home/lumetra/openvpn.pid", "12 not a record\n").isEmpty());
    StopVpnClients();
    EXPECT_FALSE(QFileInfo::exists(home.RecordPath()));
    EXPECT_TRUE(left.IsRunning() && unrelated.IsRunning() && otherInstance.IsRunning());

    // Still that process, and the run that started it is over (here an earlier run
    // that had this test's id): ended at start-up.
    home.WriteRecord(left.Pid(), leftStart, getpid(), platform::ProcessLauncher::StartTime(getpid()) + 1);
    StopVpnClients();
    EXPECT_FALSE(left.IsRunning());
    EXPECT_FALSE(QFileInfo::exists(home.RecordPath()));
    EXPECT_TRUE(unrelated.IsRunning() && otherInstance.IsRunning());
}

} // namespace
