#pragma once

// A long sleeping process under a name of the test's choosing: a copy of the system's
// sleep program in `folder`, started hidden (ProcessLauncher::StartProgram, no shell
// in between). It is ended when the object goes, but only while its id and start
// time still name that process.

#include "platform/ProcessLauncher.h"

#include <QFile>
#include <QRandomGenerator>

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
    NamedProcess(const QString& folder, const QString& name)
    {
        const QString path = folder + "/" + name;
        if (!QFile::copy("/bin/sleep", path)) {
            ADD_FAILURE() << "cannot copy /bin/sleep to " << path.toStdString();
            return;
        }
        const int64_t pid = platform::ProcessLauncher::StartProgram(
            QFile::encodeName(path).toStdString(), {"300"}, QFile::encodeName(folder).toStdString());
        const std::string kernelName = name.left(15).toStdString();
        if (pid == 0 || KernelNameOf(pid) != kernelName) {
            ADD_FAILURE() << "process " << pid << " never ran as " << kernelName;
            return;
        }
        pid_ = pid;
        startTime_ = platform::ProcessLauncher::StartTime(pid);
    }
    ~NamedProcess()
    {
        if (pid_ != 0)
            platform::ProcessLauncher::End(pid_, startTime_, 0, 5000);
    }
    NamedProcess(const NamedProcess&) = delete;
    NamedProcess& operator=(const NamedProcess&) = delete;

    bool IsUp() const { return pid_ != 0; }
    int64_t Pid() const { return pid_; }
    // Whether the process started here still runs (its id alone may have been reused).
    bool IsRunning() const { return pid_ != 0 && platform::ProcessLauncher::StartTime(pid_) == startTime_; }

private:
    int64_t pid_ = 0;
    uint64_t startTime_ = 0;
};
