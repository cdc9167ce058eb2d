#include "support/MosquittoBroker.h"

#include "support/FreePort.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <csignal>
#include <pwd.h>
#include <sys/prctl.h>
#include <unistd.h>

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
    const QString passwordFile = dir_.filePath("passwd");
    QFile::remove(passwordFile);
    if (!dir_.isValid() || !QFile(passwordFile).open(QIODevice::WriteOnly)) {
        error_ = "cannot create " + passwordFile;
        return false;
    }
    for (const auto& [user, password] : users_) {
        const QStringList args = {"-b", passwordFile, QString::fromStdString(user),
                                  QString::fromStdString(password)};
        QProcess tool;
        tool.start("/usr/bin/mosquitto_passwd", args);
        if (!tool.waitForFinished(10000) || tool.exitStatus() != QProcess::NormalExit ||
            tool.exitCode() != 0) {
            error_ = "mosquitto_passwd failed for " + QString::fromStdString(user);
            return false;
        }
    }
    // When run as root the broker would switch to its own user, which cannot read
    // this private folder: tell it to stay the user that runs the test.
    const passwd* account = getpwuid(geteuid());
    QByteArray config = "listener " + QByteArray::number(port_) + " 127.0.0.1\nallow_anonymous false\n" +
                        "password_file " + passwordFile.toUtf8() + "\npersistence false\nlog_type all\n" +
                        "log_dest file " + dir_.filePath("broker.log").toUtf8() + "\n";
    if (account != nullptr)
        config += QByteArray("user ") + account->pw_name + "\n";
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
    if (IsRunning())
        return true;
    if (port_ == 0 && (port_ = FreePort::Pick()) == 0) {
        error_ = "no free port";
        return false;
    }
    if (!filesWritten_ && !WriteFiles())
        return false;
    process_ = std::make_unique<QProcess>();
    process_->setStandardOutputFile(QProcess::nullDevice());
    process_->setStandardErrorFile(QProcess::nullDevice());
    // The broker dies with the test process, and a terminal's signals do not reach it.
    process_->setChildProcessModifier([] {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        setpgid(0, 0);
    });
    process_->start("/usr/sbin/mosquitto", {"-c", dir_.filePath("broker.conf")});
    if (!process_->waitForStarted(10000)) {
        error_ = "cannot start mosquitto: " + process_->errorString();
        return false;
    }
    // Bounded wait until it accepts connections, or ended.
    QDeadlineTimer deadline(10000);
    while (!FreePort::Accepts(port_)) {
        if (process_->waitForFinished(10) || deadline.hasExpired()) {
            error_ = "mosquitto does not accept connections: " + Log();
            Stop();
            return false;
        }
    }
    return true;
}

void MosquittoBroker::Stop()
{
    if (!IsRunning())
        return;
    process_->terminate();
    if (!process_->waitForFinished(5000)) {
        process_->kill();
        process_->waitForFinished(5000);
    }
}

bool MosquittoBroker::Restart()
{
    Stop();
    return Start();
}

QString MosquittoBroker::Log() const
{
    QFile file(dir_.filePath("broker.log"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

int MosquittoBroker::CountLogLines(const QString& text) const
{
    int count = 0;
    for (const QString& line : Log().split('\n'))
        count += line.contains(text) ? 1 : 0;
    return count;
}

bool MosquittoBroker::WaitForLog(const QString& text, int count, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    while (CountLogLines(text) < count) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(10);
    }
    return true;
}
