#pragma once

#include "support/FarsideProcess.h"
#include "support/MosquittoBroker.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

// The whole far side on loopback with an installation of the client, for the
// end-to-end tests and the benchmarks: a mosquitto broker, a lumetra-farside over the
// caller's inventory (web service, broker services, port-transfer and relay servers,
// simulated devices) on free ports, and a program folder whose custom resource file
// names them, with the pair tool lumetra-vcom in it and a virtual COM folder of its
// own. `lumetra-cli` runs against it signed in as the given account.
//
// Whatever the bed started is ended with it, also when a test fails: the CLI, the far
// side, the broker and the virtual COM pairs made in its folder. Needs no test
// framework, so the benchmarks link it too.
class FarsideBed
{
public:
    FarsideBed(std::string user, std::string password);
    virtual ~FarsideBed();
    FarsideBed(const FarsideBed&) = delete;
    FarsideBed& operator=(const FarsideBed&) = delete;

    // Add broker accounts before StartBroker.
    MosquittoBroker& Broker() { return broker_; }
    FarsideProcess& Farside() { return farside_; }
    QString Error() const { return error_; }

    // Starts the broker. False with the reason in Error().
    bool StartBroker();
    // A free loopback port that no other part of the bed uses (0 when none is free).
    int PickPort();
    // Writes the installation and starts the far side over `inventory` (JSON text)
    // with `options` and no keep-alives (every message on the wire then belongs to
    // the flow under test), once it is connected to the broker. Needs the broker.
    // False with the reason in Error().
    bool StartFarside(const QByteArray& inventory, const QStringList& options);
    // Stops the far side (SIGTERM; its connections end with it) and starts it again
    // as StartFarside did. False with the reason in Error().
    bool RestartFarside();
    // An extra entry of the installation's custom resource file; set before
    // StartFarside.
    void SetPlatconfText(const std::string& name, const std::string& text)
    {
        extra_.emplace_back(name, text);
    }

    // The installation folder (LUMETRA_HOME of the client) and a path inside it.
    QString Home() const { return home_.path(); }
    QString HomeFile(const QString& name) const { return home_.filePath(name); }
    // This process's environment with LUMETRA_HOME and LUMETRA_VCOM_DIR naming the
    // installation's folders.
    QProcessEnvironment Environment() const;

    // Starts `lumetra-cli <arguments> --user <user> --password <password>`; it is
    // running once this returns (unless it failed to start).
    void RunCli(const QStringList& arguments);
    // From now on RunCli starts `command` (a program and its first arguments, e.g. an
    // installed copy of lumetra-cli) in `environment` instead of the built program in
    // Environment().
    void UseCli(const QStringList& command, const QProcessEnvironment& environment)
    {
        cliCommand_ = command;
        cliEnvironment_ = environment;
    }
    // Waits until the program printed a line starting with `prefix` and returns the
    // rest of that line; empty when it ended or the time ran out first.
    QString WaitForLine(const QString& prefix, int timeoutMs = 30000);
    // Waits until the program printed `count` whole lines starting with `prefix` and
    // returns the rest of each, in order; fewer when it ended or the time ran out.
    QStringList WaitForLines(const QString& prefix, int count, int timeoutMs = 30000);
    // Waits until the program's standard error holds `text`; false when it ended or
    // the time ran out first.
    bool WaitForError(const QString& text, int timeoutMs = 30000);
    // Waits until the program printed at least `count` lines on standard error that
    // start with `prefix`.
    bool WaitForErrorLines(const QString& prefix, int count, int timeoutMs = 15000);
    // The running program's process id (0 when it is not running).
    qint64 Pid() const { return cli_.processId(); }
    // Waits for the program's end; -1 when it had to be killed or crashed.
    int WaitForExit(int timeoutMs = 20000);
    // SIGINT (or `signal`), then WaitForExit.
    int Interrupt(int signal = 2 /* SIGINT */);
    // SIGKILL, as a crash ends the program, and waits for its end.
    void Crash();
    // Reads what the program and the far side printed so far, so that their pipes
    // never fill up during a long run.
    void Drain();
    QString Out() const { return out_; }
    QString Err() const { return err_; }

    // Removes every virtual COM pair whose state is in `folder` (a pair outlives the
    // tunnel that made it: it is reused by the next one).
    static void RemoveComPairs(const QString& folder);

protected:
    // Kills a program still running and waits for its end.
    void EndCli();
    void Fail(const QString& error) { error_ = error; }

private:
    // Drains the program's output until `done` holds; false when it ended or the
    // time ran out first.
    bool WaitForOutput(const std::function<bool()>& done, int timeoutMs);

    const std::string user_;
    const std::string password_;
    MosquittoBroker broker_;
    QTemporaryDir home_;
    QString vcomDir_;
    std::set<int> ports_;
    std::vector<std::pair<std::string, std::string>> extra_;
    QString platconfPath_, inventoryPath_;
    QStringList farsideOptions_;
    FarsideProcess farside_;
    QStringList cliCommand_;
    QProcessEnvironment cliEnvironment_;
    QProcess cli_;
    QString out_;
    QString err_;
    QString error_;
};
