#include "support/OpenVpnStandIn.h"

#include "platform/ProcessLauncher.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include <signal.h>

namespace {

QStringList Lines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringList();
    QString text = QString::fromUtf8(file.readAll());
    if (text.isEmpty())
        return QStringList();
    if (text.endsWith('\n'))
        text.chop(1);
    return text.split('\n');
}

} // namespace

QString OpenVpnStandIn::BuiltProgram()
{
    return QStringLiteral(OPENVPN_STAND_IN);
}

OpenVpnStandIn::OpenVpnStandIn(const QString& folder, OnTerm onTerm, const QString& name)
    : folder_(folder), program_(folder + "/" + name)
{
    if (!QFile::copy(BuiltProgram(), program_) ||
        !QFile::setPermissions(program_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
        ADD_FAILURE() << "cannot install the OpenVPN stand-in in " << folder.toStdString();
        return;
    }
    const char* path = std::getenv("PATH");
    const std::string searched =
        QFile::encodeName(folder).toStdString() + (path != nullptr ? std::string(":") + path : "");
    environment_.push_back(std::make_unique<ScopedEnv>("PATH", searched));
    environment_.push_back(
        std::make_unique<ScopedEnv>("STAND_IN_RECORD", QFile::encodeName(folder + "/record").toStdString()));
    environment_.push_back(
        std::make_unique<ScopedEnv>("STAND_IN_MARKER", QFile::encodeName(folder + "/terms").toStdString()));
    environment_.push_back(std::make_unique<ScopedEnv>(
        "STAND_IN_ON_TERM", std::string(onTerm == OnTerm::Stay ? "stay" : "exit")));
    installed_ = true;
}

OpenVpnStandIn::~OpenVpnStandIn()
{
    QDeadlineTimer deadline(5000);
    for (std::vector<int64_t> left = Running(); !left.empty() && !deadline.hasExpired(); left = Running()) {
        for (int64_t pid : left)
            ::kill(static_cast<pid_t>(pid), SIGKILL);
        QThread::msleep(5);
    }
    environment_.clear();
}

QStringList OpenVpnStandIn::WaitForRecord(int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const QStringList lines = Lines(folder_ + "/record");
        if (!lines.isEmpty() || deadline.hasExpired())
            return lines;
        QThread::msleep(5);
    }
}

void OpenVpnStandIn::ForgetRecord() const
{
    QFile::remove(folder_ + "/record");
}

QStringList OpenVpnStandIn::Terms() const
{
    return Lines(folder_ + "/terms");
}

std::vector<int64_t> OpenVpnStandIn::Running() const
{
    std::vector<int64_t> found;
    const QString wanted = QFileInfo(program_).canonicalFilePath();
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric || wanted.isEmpty() ||
            QFileInfo("/proc/" + entry + "/exe").canonicalFilePath() != wanted) {
            continue;
        }
        // An ended child that nobody has reaped yet no longer runs.
        QFile stat("/proc/" + entry + "/stat");
        const QByteArray state = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
        const int close = state.lastIndexOf(')');
        if (close >= 0 && state.mid(close + 2, 1) != "Z")
            found.push_back(pid);
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::vector<int64_t> OpenVpnStandIn::ClientsIn(const QString& folder)
{
    std::vector<int64_t> found;
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    for (const platform::ProcessLauncher::Entry& entry : platform::ProcessLauncher::List()) {
        if (entry.name.find("openvpn") != std::string::npos && !canonical.isEmpty() &&
            QFileInfo(QStringLiteral("/proc/%1/cwd").arg(entry.pid)).canonicalFilePath() == canonical)
            found.push_back(entry.pid);
    }
    return found;
}
