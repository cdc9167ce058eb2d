#pragma once

#include <QString>

#include <cstdint>

// A long sleeping process running under a name of the test's choosing: a copy of
// the system's sleep program in `folder`, started hidden. The process is killed
// when the object goes, whatever the test did with it.
class NamedProcess
{
public:
    NamedProcess(const QString& folder, const QString& name);
    ~NamedProcess();

    NamedProcess(const NamedProcess&) = delete;
    NamedProcess& operator=(const NamedProcess&) = delete;

    // True once the process runs under its name (the kernel's name is the first 15
    // characters of the file name).
    bool IsUp() const { return pid_ != 0; }
    int64_t Pid() const { return pid_; }
    QString KernelName() const { return name_.left(15); }

private:
    QString name_;
    int64_t pid_ = 0;
};
