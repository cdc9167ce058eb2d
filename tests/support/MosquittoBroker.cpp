#include "support/MosquittoBroker.h"

#include "support/FreePort.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char* const kBrokerProgram = "/usr/sbin/mosquitto";
const char* const kPasswdProgram = "/usr/bin/mosquitto_passwd";

// Starts `argv[0]` with the given arguments; the child is killed when the thread
// that started it ends (the test's main thread). Output goes to /dev/null.
pid_t Spawn(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        setpgid(0, 0);
        int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

// Waits for a child; true when it ended within the time-out (exit status in `status`).
bool WaitChild(pid_t pid, int timeoutMs, int* status)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const pid_t done = waitpid(pid, status, WNOHANG);
        if (done == pid || (done < 0 && errno == ECHILD))
            return true;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(5);
    }
}

} // namespace

MosquittoBroker::MosquittoBroker()
{
    users_.emplace_back(kUser, kPassword);
}

MosquittoBroker::~MosquittoBroker()
{
    Stop();
}

void MosquittoBroker::AddUser(const std::string& user, const std::string& password)
{
    users_.emplace_back(user, password);
    filesWritten_ = false;
}

bool MosquittoBroker::WriteFiles()
{
    if (!dir_.isValid()) {
        error_ = "no temporary folder";
        return false;
    }
    const QString passwordFile = dir_.filePath("passwd");
    QFile::remove(passwordFile);
    {
        QFile file(passwordFile);
        if (!file.open(QIODevice::WriteOnly)) {
            error_ = "cannot create " + passwordFile;
            return false;
        }
    }
    for (const auto& [user, password] : users_) {
        const pid_t pid = Spawn({kPasswdProgram, "-b", passwordFile.toStdString(), user, password});
        int status = 0;
        if (pid < 0 || !WaitChild(pid, 10000, &status) || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            error_ = "mosquitto_passwd failed for " + QString::fromStdString(user);
            return false;
        }
    }

    // When run as root the broker would switch to its own user, which cannot read
    // this private folder: tell it to stay the user that runs the test.
    const passwd* account = getpwuid(geteuid());
    QByteArray config;
    config += "listener " + QByteArray::number(port_) + " 127.0.0.1\n";
    config += "allow_anonymous false\n";
    config += "password_file " + passwordFile.toUtf8() + "\n";
    config += "persistence false\n";
    if (account != nullptr)
        config += QByteArray("user ") + account->pw_name + "\n";
    config += "log_dest file " + dir_.filePath("broker.log").toUtf8() + "\n";
    config += "log_type all\n";
    QFile file(dir_.filePath("broker.conf"));
    if (!file.open(QIODevice::WriteOnly) || file.write(config) != config.size()) {
        error_ = "cannot write the broker configuration";
        return false;
    }
    filesWritten_ = true;
    return true;
}

bool MosquittoBroker::Start()
{
    if (pid_ > 0)
        return true;
    if (port_ == 0) {
        port_ = FreePort::Pick();
        filesWritten_ = false;
        if (port_ == 0) {
            error_ = "no free port";
            return false;
        }
    }
    if (!filesWritten_ && !WriteFiles())
        return false;
    pid_ = Spawn({kBrokerProgram, "-c", dir_.filePath("broker.conf").toStdString()});
    if (pid_ < 0) {
        error_ = "cannot start mosquitto";
        return false;
    }
    if (!WaitUntilAccepting(10000)) {
        Stop();
        return false;
    }
    return true;
}

bool MosquittoBroker::WaitUntilAccepting(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            error_ = "mosquitto ended at start-up: " + Log();
            return false;
        }
        if (FreePort::Accepts(port_))
            return true;
        if (deadline.hasExpired()) {
            error_ = "mosquitto does not accept connections: " + Log();
            return false;
        }
        QThread::msleep(10);
    }
}

void MosquittoBroker::Stop()
{
    if (pid_ <= 0)
        return;
    kill(pid_, SIGTERM);
    int status = 0;
    if (!WaitChild(pid_, 5000, &status)) {
        kill(pid_, SIGKILL);
        WaitChild(pid_, 5000, &status);
    }
    pid_ = -1;
}

bool MosquittoBroker::Restart()
{
    Stop();
    return Start();
}

QString MosquittoBroker::Log() const
{
    QFile file(dir_.filePath("broker.log"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

int MosquittoBroker::CountLogLines(const QString& text) const
{
    int count = 0;
    const QStringList lines = Log().split('\n');
    for (const QString& line : lines) {
        if (line.contains(text))
            ++count;
    }
    return count;
}

bool MosquittoBroker::WaitForLog(const QString& text, int count, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (CountLogLines(text) >= count)
            return true;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(10);
    }
}
