#pragma once

#include "support/ToolProcess.h"

#include <QString>
#include <QStringList>

// A running lumetra-farside for one test: started with a platconf and an inventory,
// ready once it printed its "web service listening on" line, and stopped (SIGTERM,
// then SIGKILL) when the object goes, even when the test failed.
class FarsideProcess
{
public:
    FarsideProcess();
    ~FarsideProcess();
    FarsideProcess(const FarsideProcess&) = delete;
    FarsideProcess& operator=(const FarsideProcess&) = delete;

    // Starts `lumetra-farside --platconf P --inventory I <extra>` and waits up to
    // `timeoutMs` for the listening line. Returns false when the program ended or
    // timed out first; Error() then says why (with what it printed).
    bool Start(const QString& platconfPath, const QString& inventoryPath,
               const QStringList& extraArguments = {QStringLiteral("--web-only")}, int timeoutMs = 20000);

    // The web service's base address from the listening line, e.g. http://127.0.0.1:18080
    QString WebUrl() const { return webUrl_; }
    bool IsRunning() const;
    // The process id while it runs (0 otherwise), e.g. to send it a signal.
    qint64 ProcessId() const;
    QString Error() const { return error_; }

    // Everything printed so far on standard output / standard error.
    QString Output();
    QString ErrorOutput();
    // Waits up to `timeoutMs` until standard output holds `text`.
    bool WaitForOutput(const QString& text, int timeoutMs = 10000);

    // SIGTERM and wait for the end; returns the exit code, or -1 when it had to be
    // killed or was not running.
    int Stop(int timeoutMs = 10000);

private:
    // Takes what the program printed; waits up to `timeoutMs` for something to come.
    void Drain(int timeoutMs = 0);

    mutable ToolProcess process_;
    QString out_;
    QString err_;
    QString webUrl_;
    QString error_;
};
