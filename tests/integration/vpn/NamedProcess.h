#pragma once

// A long sleeping process under a name of the test's choosing: a copy of the system's
// sleep program in `folder`, started hidden through RunCommandIn. It is killed when
// the object goes, but only while its id still names that program.

#include "endpoint/VpnClientControl.h"
#include "platform/ProcessLauncher.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QThread>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

// `length` random lower-case letters, so parallel runs never share a process name.
inline QString RandomLetters(int length)
{
    QString letters;
    for (int i = 0; i < length; ++i)
        letters += QChar('a' + static_cast<char>(QRandomGenerator::global()->bounded(26)));
    return letters;
}

inline std::string KernelNameOf(int64_t pid)
{
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

class NamedProcess
{
public:
    // The kernel's name is the first 15 characters of the file name.
    NamedProcess(const QString& folder, const QString& name) : kernelName_(name.left(15).toStdString())
    {
        if (!QFile::copy("/bin/sleep", folder + "/" + name)) {
            ADD_FAILURE() << "cannot copy /bin/sleep to " << name.toStdString();
            return;
        }
        const int64_t pid =
            RunCommandIn("exec ./" + name.toStdString() + " 300", folder.toStdString()).processId;
        // The shell replaces itself with the program: wait until the kernel shows its name.
        QDeadlineTimer deadline(10000);
        while (pid != 0 && KernelNameOf(pid) != kernelName_ && ProcessLauncher::IsRunning(pid) &&
               !deadline.hasExpired())
            QThread::msleep(2);
        if (pid == 0 || KernelNameOf(pid) != kernelName_) {
            ADD_FAILURE() << "process " << pid << " never ran as " << kernelName_;
            if (pid != 0)
                ProcessLauncher::Kill(pid);
            return;
        }
        pid_ = pid;
    }
    ~NamedProcess()
    {
        if (pid_ != 0 && ProcessLauncher::IsRunning(pid_) && KernelNameOf(pid_) == kernelName_) {
            ProcessLauncher::Kill(pid_);
            ProcessLauncher::WaitGone(pid_, 5000);
        }
    }
    NamedProcess(const NamedProcess&) = delete;
    NamedProcess& operator=(const NamedProcess&) = delete;

    bool IsUp() const { return pid_ != 0; }
    int64_t Pid() const { return pid_; }

private:
    std::string kernelName_;
    int64_t pid_ = 0;
};
