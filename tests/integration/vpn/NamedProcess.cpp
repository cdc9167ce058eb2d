#include "NamedProcess.h"

#include "endpoint/VpnClientControl.h"
#include "platform/ProcessLauncher.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace {

std::string KernelNameOf(int64_t pid)
{
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

} // namespace

NamedProcess::NamedProcess(const QString& folder, const QString& name) : name_(name)
{
    const QString path = folder + "/" + name;
    if (!QFile::copy(QStringLiteral("/bin/sleep"), path)) {
        ADD_FAILURE() << "cannot copy /bin/sleep to " << path.toStdString();
        return;
    }
    const int64_t pid = RunCommandIn("exec ./" + name.toStdString() + " 300", folder.toStdString()).processId;
    if (pid == 0) {
        ADD_FAILURE() << "cannot start " << path.toStdString();
        return;
    }
    // The shell replaces itself with the program; wait until the kernel shows the
    // new name.
    const std::string expected = KernelName().toStdString();
    QDeadlineTimer deadline(10000);
    while (KernelNameOf(pid) != expected && ProcessLauncher::IsRunning(pid) && !deadline.hasExpired())
        QThread::msleep(2);
    if (KernelNameOf(pid) != expected) {
        ADD_FAILURE() << "process " << pid << " never ran as " << expected;
        ProcessLauncher::Kill(pid);
        return;
    }
    pid_ = pid;
}

NamedProcess::~NamedProcess()
{
    // Only while the id still names our program: once it ended, the id may belong to
    // someone else.
    if (pid_ != 0 && ProcessLauncher::IsRunning(pid_) && KernelNameOf(pid_) == KernelName().toStdString()) {
        ProcessLauncher::Kill(pid_);
        ProcessLauncher::WaitGone(pid_, 5000);
    }
}
