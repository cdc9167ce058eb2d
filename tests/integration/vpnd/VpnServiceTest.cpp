// The VPN service as it runs on a user's machine: lumetra-vpnd as root on a socket of
// the test's folder, starting the OpenVPN stand-in, asked by two ordinary users made
// for the test (each request from a child process that has become that user). Skipped
// when the tests do not run as root.

#include "endpoint/VpnClientControl.h"
#include "endpoint/VpnServiceClient.h"
#include "support/NamedProcess.h"
#include "support/OpenVpnStandIn.h"
#include "support/ProgramRun.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// A user that exists for one test: no login, its home in the test's folder.
class TestUser
{
public:
    TestUser(const QString& parent)
        : name_("lvpn" + RandomLetters(8).toStdString()), home_(parent + "/" + QString::fromStdString(name_))
    {
        const std::string command = "useradd -M -N -s /usr/sbin/nologin -d '" +
                                    QFile::encodeName(home_).toStdString() + "' " + name_ +
                                    " >/dev/null 2>&1";
        const struct passwd* entry = std::system(command.c_str()) == 0 ? getpwnam(name_.c_str()) : nullptr;
        if (entry == nullptr) {
            ADD_FAILURE() << "cannot add the user " << name_;
            return;
        }
        uid_ = entry->pw_uid;
        gid_ = entry->pw_gid;
        mkdir(QFile::encodeName(home_).constData(), 0700);
        MakeFolder("lumetra");
        (void)!chown(QFile::encodeName(home_).constData(), uid_, gid_);
    }
    ~TestUser()
    {
        if (uid_ != 0)
            (void)!std::system(("userdel " + name_ + " >/dev/null 2>&1").c_str());
    }
    bool Exists() const { return uid_ != 0; }
    uid_t Uid() const { return uid_; }
    QString Home() const { return home_; }

    QString MakeFolder(const QString& name) const
    {
        const QString path = home_ + "/" + name;
        mkdir(QFile::encodeName(path).constData(), 0700);
        (void)!chown(QFile::encodeName(path).constData(), uid_, gid_);
        return path;
    }
    // Writes a file of this user in its home (mode 0600 unless told).
    QString Write(const QString& name, const QByteArray& content, mode_t mode = 0600) const
    {
        const QString path = home_ + "/" + name;
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                    file.write(content) == content.size());
        file.close();
        (void)!chown(QFile::encodeName(path).constData(), uid_, gid_);
        chmod(QFile::encodeName(path).constData(), mode);
        return path;
    }

    // Runs `work` in a child process that has become this user; returns what the
    // child returned (its output, one text), or "child failed".
    std::string As(const std::function<std::string()>& work) const
    {
        int pipeFds[2];
        if (pipe(pipeFds) != 0)
            return "child failed";
        const pid_t pid = fork();
        if (pid == 0) {
            close(pipeFds[0]);
            if (setgroups(0, nullptr) != 0 || setgid(gid_) != 0 || setuid(uid_) != 0)
                _exit(2);
            const std::string text = work();
            (void)!write(pipeFds[1], text.data(), text.size());
            _exit(0);
        }
        close(pipeFds[1]);
        std::string text;
        char chunk[512];
        for (ssize_t n; (n = read(pipeFds[0], chunk, sizeof chunk)) > 0;)
            text.append(chunk, static_cast<size_t>(n));
        close(pipeFds[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? text : "child failed";
    }
    // The service's answer to `request` from this user.
    std::string Ask(const std::string& request) const
    {
        return As([&] { return VpnServiceClient::Ask(request).value_or("no service"); });
    }

private:
    std::string name_;
    QString home_;
    uid_t uid_ = 0;
    gid_t gid_ = 0;
};

// The client's own profile as it writes it, with the files it names.
QByteArray ClientProfile()
{
    QByteArray text =
        TempDir::Read(QStringLiteral(LUMETRA_SOURCE_DIR "/tests/unit/endpoint-vpn/client-profile.txt"));
    return text.replace("{WEBSITE}", "")
        .replace("{TELEPHONE}", "")
        .replace("{REMOTE}", "remote 127.0.0.1 1194\n\n");
}

class VpnService : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "the VPN service runs as root and the test makes users: run the tests as root";
        // The users reach their homes and the socket through the test's folder.
        chmod(QFile::encodeName(dir_.Path()).constData(), 0755);
        standIn_ = std::make_unique<OpenVpnStandIn>(dir_.MakeDir("bin"));
        alice_ = std::make_unique<TestUser>(dir_.Path());
        bob_ = std::make_unique<TestUser>(dir_.Path());
        ASSERT_TRUE(standIn_->IsInstalled() && alice_->Exists() && bob_->Exists());
        for (const TestUser* user : {alice_.get(), bob_.get()}) {
            user->Write("lumetra/zelqnet_client.ovpn", ClientProfile());
            user->Write("lumetra/ca.crt", "-----BEGIN CERTIFICATE-----\nMIIB\n-----END CERTIFICATE-----\n");
            user->Write("lumetra/zelq_clientpass0", "engineer\n730158");
        }
        StartService();
    }
    void TearDown() override { StopService(); }

    void StartService()
    {
        const std::string program = QFile::encodeName(ProgramRun::BuiltProgram("lumetra-vpnd")).toStdString();
        std::vector<std::string> words = {program, "--socket", socket_, "--run-dir", runDir_};
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(&word[0]);
        argv.push_back(nullptr);
        ASSERT_EQ(posix_spawn(&service_, program.c_str(), nullptr, nullptr, argv.data(), environ), 0);
        QDeadlineTimer deadline(10000);
        while (!QFileInfo::exists(QString::fromStdString(socket_)) && !deadline.hasExpired())
            QThread::msleep(5);
        ASSERT_TRUE(QFileInfo::exists(QString::fromStdString(socket_)));
    }
    // SIGTERM, then the exit status (-1 when it did not end in time).
    int StopService()
    {
        if (service_ <= 0)
            return -1;
        kill(service_, SIGTERM);
        QDeadlineTimer deadline(10000);
        int status = 0;
        pid_t got = 0;
        while ((got = waitpid(service_, &status, WNOHANG)) == 0 && !deadline.hasExpired())
            QThread::msleep(5);
        if (got == 0) {
            kill(service_, SIGKILL);
            waitpid(service_, &status, 0);
        }
        service_ = 0;
        return got != 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Profile(const TestUser& user) const
    {
        return QFile::encodeName(user.Home()).toStdString() + "/lumetra/zelqnet_client.ovpn";
    }
    QString Private(const TestUser& user, const QString& name) const
    {
        return QString::fromStdString(runDir_) + "/" + QString::number(user.Uid()) + "/" + name;
    }

    TempDir dir_;
    std::string socket_ = QFile::encodeName(dir_.FilePath("vpnd.sock")).toStdString();
    std::string runDir_ = QFile::encodeName(dir_.FilePath("run")).toStdString();
    ScopedEnv socketEnv_{"LUMETRA_VPND_SOCKET", socket_};
    std::unique_ptr<OpenVpnStandIn> standIn_;
    std::unique_ptr<TestUser> alice_;
    std::unique_ptr<TestUser> bob_;
    pid_t service_ = 0;
};

} // namespace

namespace {

TEST_F(VpnService, StartsTheOwnersCheckedCopyAndEndsOnlyWhatItStartedForWhomAsks)
{
    const QString others = dir_.MakeDir("others");
    NamedProcess decoy(others, "openvpn"); // somebody else's client
    ASSERT_TRUE(decoy.IsUp());
    EXPECT_EQ(alice_->Ask("status"), "ok idle");

    // Accepted: the stand-in runs in the service's private folder of the user, on a
    // copy whose files are the service's copies, with the management interface as
    // the client expects it.
    const std::string started = alice_->Ask("start " + Profile(*alice_));
    ASSERT_EQ(started.rfind("ok started ", 0), 0u) << started;
    const QStringList record = standIn_->WaitForRecord();
    ASSERT_FALSE(record.isEmpty());
    const QString pid = record.front();
    EXPECT_EQ(QString::fromStdString(started), "ok started " + pid);
    EXPECT_EQ(record.mid(1), (QStringList{"--config", "profile.ovpn", "--management", "127.0.0.1", "25341",
                                          QFileInfo(Private(*alice_, ".")).canonicalFilePath()}));
    const QByteArray copy = TempDir::Read(Private(*alice_, "profile.ovpn"));
    EXPECT_TRUE(copy.contains("\nca \"input-1\"\n")) << copy.toStdString();
    EXPECT_TRUE(copy.contains("\nauth-user-pass \"input-2\"\n"));
    EXPECT_TRUE(copy.contains("\nlog \"output/openvpn-trace.log\"\n"));
    EXPECT_TRUE(copy.contains("\ndev \"tun\"\n"));
    EXPECT_EQ(TempDir::Read(Private(*alice_, "input-2")), "engineer\n730158");
    struct stat info;
    ASSERT_EQ(stat(QFile::encodeName(Private(*alice_, "input-2")).constData(), &info), 0);
    EXPECT_EQ(info.st_uid, 0u);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    ASSERT_EQ(stat(QFile::encodeName(Private(*alice_, ".")).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    EXPECT_EQ(alice_->Ask("status"), "ok running " + pid.toStdString());

    // Another user can neither stop it nor start one beside it.
    EXPECT_EQ(bob_->Ask("status"), "ok idle");
    EXPECT_EQ(bob_->Ask("stop"), "error no VPN of yours is running");
    EXPECT_EQ(bob_->Ask("start " + Profile(*bob_)),
              "error another user's VPN is running (management port 25341 in use)");
    EXPECT_EQ(standIn_->Running(), std::vector<int64_t>{pid.toLongLong()});
    EXPECT_TRUE(standIn_->Terms().isEmpty());

    // The owner's second start replaces the first client; stop ends the second; the
    // decoy called "openvpn" lives through all of it.
    standIn_->ForgetRecord();
    ASSERT_EQ(alice_->Ask("start " + Profile(*alice_)).rfind("ok started ", 0), 0u);
    const QStringList second = standIn_->WaitForRecord();
    ASSERT_FALSE(second.isEmpty());
    EXPECT_EQ(standIn_->Terms(), QStringList{"TERM " + pid});
    EXPECT_EQ(alice_->Ask("stop"), "ok stopped");
    EXPECT_EQ(standIn_->Terms(), (QStringList{"TERM " + pid, "TERM " + second.front()}));
    // The copies of her credentials and keys went with her client.
    EXPECT_FALSE(QFileInfo::exists(Private(*alice_, ".")));
    EXPECT_TRUE(standIn_->Running().empty());
    EXPECT_EQ(alice_->Ask("stop"), "error no VPN of yours is running");
    EXPECT_EQ(alice_->Ask("status"), "ok idle");
    EXPECT_TRUE(decoy.IsRunning());

    // Bob's turn now that the port is free; the service ends his client when it ends.
    standIn_->ForgetRecord();
    ASSERT_EQ(bob_->Ask("start " + Profile(*bob_)).rfind("ok started ", 0), 0u);
    const QStringList third = standIn_->WaitForRecord();
    ASSERT_FALSE(third.isEmpty());
    EXPECT_EQ(StopService(), 0);
    EXPECT_TRUE(standIn_->Running().empty());
    EXPECT_TRUE(standIn_->Terms().contains("TERM " + third.front()));
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(socket_)));
    EXPECT_FALSE(QFileInfo::exists(Private(*bob_, ".")));
    EXPECT_TRUE(decoy.IsRunning());
}

TEST_F(VpnService, RefusesEveryDirectiveThatRunsOrLoadsCodeAndEveryFileOutsideTheCallersFolders)
{
    const QByteArray valid = ClientProfile();
    const std::string bobsCa = QFile::encodeName(bob_->Home()).toStdString() + "/lumetra/ca.crt";
    ASSERT_EQ(symlink("/etc/passwd", QFile::encodeName(alice_->Home() + "/lumetra/link.crt").constData()), 0);
    ASSERT_EQ(symlink("ca.crt", QFile::encodeName(alice_->Home() + "/lumetra/inner.crt").constData()), 0);
    alice_->Write("lumetra/shared.crt", "x\n", 0620);
    const QString rootOwned = alice_->Write("lumetra/root.crt", "x\n");
    (void)!chown(QFile::encodeName(rootOwned).constData(), 0, 0);

    const std::pair<std::string, std::string> cases[] = {
        {"script-security 2", "\"script-security\" refused: runs a program"},
        {"up /bin/sh", "\"up\" refused: runs a program"},
        {"--up /bin/sh", "\"up\" refused: runs a program"},
        {"\"down\" /bin/sh", "\"down\" refused: runs a program"},
        {"route-up /bin/sh", "runs a program"},
        {"route-pre-down /bin/sh", "runs a program"},
        {"tls-verify /bin/sh", "runs a program"},
        {"ipchange /bin/sh", "runs a program"},
        {"learn-address /bin/sh", "runs a program"},
        {"client-connect /bin/sh", "runs a program"},
        {"client-disconnect /bin/sh", "runs a program"},
        {"auth-user-pass-verify /bin/sh via-env", "runs a program"},
        {"tls-crypt-v2-verify /bin/sh", "runs a program"},
        {"iproute /bin/sh", "runs a program"},
        {"plugin /tmp/evil.so", "\"plugin\" refused: loads code into OpenVPN"},
        {"providers legacy", "loads code"},
        {"engine dynamic", "loads code"},
        {"config /etc/openvpn/other.conf", "reads another file as configuration"},
        {"cd /", "changes OpenVPN's user, folder or way of running"},
        {"chroot /tmp", "changes OpenVPN's user"},
        {"daemon", "changes OpenVPN's user"},
        {"tmp-dir /tmp", "changes OpenVPN's user"},
        {"user nobody", "changes OpenVPN's user"},
        {"dev-node /dev/sda", "names a device file"},
        {"dev /dev/sda", "names a device file"},
        {"management 0.0.0.0 7505", "the management interface is set by the service"},
        {"management-hold", "the management interface is set by the service"},
        {"setenv opt up /bin/sh", "sets variables for programs"},
        {"setenv-safe LD_PRELOAD /tmp/evil.so", "sets variables for programs"},
        {"frobnicate 1", "\"frobnicate\" refused: is not a directive the service allows"},
        {"<connection>\nremote x\n</connection>", "the block <connection> is not allowed"},
        {"<ca>\nMIIB\n</ca>\nup /bin/sh", "\"up\" refused: runs a program"},
        {"<ca>\nMIIB", "the <ca> block is not closed"},
        {"ca a\\b.crt", "backslashes and quotes are not allowed"},
        {"remote-cert-tls server server server", "too many arguments"},
        {"http-proxy proxy 8080 /etc/shadow basic", "too many arguments"},
        {"log /etc/evil.log", "\"log\" writes outside your folders: /etc/evil.log"},
        {"status ../../../../../../etc/evil", "\"status\" writes outside your folders"},
        {"ca /etc/ssl/certs/ca-certificates.crt", "lies outside your folders"},
        {"cert " + bobsCa, bobsCa + ": lies outside your folders"},
        {"key link.crt", "link.crt: no such file in your folders"},
        {"key inner.crt", "inner.crt: is a link"},
        {"tls-auth shared.crt 1", "shared.crt: others may change it"},
        {"extra-certs root.crt", "root.crt: is not yours"},
        {"pkcs12 missing.p12", "missing.p12: no such file in your folders"},
        {"ca", "\"ca\" refused: names no file"},
    };
    for (const auto& [line, reason] : cases) {
        alice_->Write("lumetra/zelqnet_client.ovpn", valid + "\n" + QByteArray::fromStdString(line) + "\n");
        const std::string answer = alice_->Ask("start " + Profile(*alice_));
        EXPECT_EQ(answer.rfind("error ", 0), 0u) << line << " -> " << answer;
        EXPECT_NE(answer.find(reason), std::string::npos) << line << " -> " << answer;
    }

    // The profile itself: only an absolute path inside the caller's own folders, a
    // private file of the caller's that is no link.
    alice_->Write("lumetra/zelqnet_client.ovpn", valid);
    const std::pair<std::string, std::string> profiles[] = {
        {"start lumetra/zelqnet_client.ovpn", "error the profile must be named by an absolute path"},
        {"start " + Profile(*bob_), "lies outside your folders"},
        {"start /etc/passwd", "lies outside your folders"},
        {"start " + QFile::encodeName(alice_->Home()).toStdString() + "/lumetra/inner.crt", "is a link"},
        {"start", "error unknown request"},
        {"stop now", "error unknown request"},
        {std::string(5000, 'x'), "error request too long"},
    };
    for (const auto& [request, reason] : profiles) {
        const std::string answer = alice_->Ask(request);
        EXPECT_NE(answer.find(reason), std::string::npos) << request.substr(0, 80) << " -> " << answer;
    }
    alice_->Write("lumetra/zelqnet_client.ovpn", valid, 0664);
    EXPECT_NE(alice_->Ask("start " + Profile(*alice_)).find("others may change it"), std::string::npos);

    // Nothing of all that started anything.
    EXPECT_TRUE(standIn_->WaitForRecord(0).isEmpty());
    EXPECT_TRUE(standIn_->Running().empty());
    EXPECT_EQ(alice_->Ask("status"), "ok idle");
}

// The client's side: with the service's socket named, the VPN client is started and
// ended through the service, and a refusal comes back with the service's reason.
TEST_F(VpnService, TheClientStartsAndEndsItsVpnThroughTheServiceAndHearsItsRefusal)
{
    const std::string home = QFile::encodeName(alice_->MakeFolder("install")).toStdString();
    alice_->MakeFolder("install/lumetra");
    const std::string outcome = alice_->As([&] {
        ScopedEnv installation("LUMETRA_HOME", home);
        WriteProfile(nullptr, "127.0.0.1", "1194");
        WriteCredentials("engineer");
        // The profile names ca.crt, which is not there yet.
        const VpnStart refused = StartVpnClient();
        std::string text = (refused ? "started" : "refused: " + refused.refusal) + "\n";
        const QString ca = QString::fromStdString(home + "/lumetra/ca.crt");
        QFile file(ca);
        if (file.open(QIODevice::WriteOnly))
            file.write("-----BEGIN CERTIFICATE-----\n");
        file.close();
        const VpnStart started = StartVpnClient();
        text += std::string(started ? "started" : "refused: " + started.refusal) + "\n";
        // Ended only once it runs (it tells by its record).
        standIn_->WaitForRecord();
        text += VpnServiceClient::Ask("status").value_or("") + "\n";
        StopVpnClients();
        text += VpnServiceClient::Ask("status").value_or("") + "\n";
        return text;
    });
    const QStringList lines = QString::fromStdString(outcome).split('\n');
    ASSERT_EQ(lines.size(), 5) << outcome;
    EXPECT_EQ(lines[0].toStdString(),
              "refused: \"ca\" file " + home + "/lumetra/ca.crt: no such file in your folders");
    EXPECT_EQ(lines[1], "started");
    const QStringList record = standIn_->WaitForRecord();
    ASSERT_FALSE(record.isEmpty());
    EXPECT_EQ(lines[2], "ok running " + record.front());
    EXPECT_EQ(lines[3], "ok idle");
    EXPECT_EQ(standIn_->Terms(), QStringList{"TERM " + record.front()});
}

} // namespace
