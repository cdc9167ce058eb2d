#pragma once

#include <QString>
#include <QTemporaryDir>

#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

// A real mosquitto broker for one test: listens on 127.0.0.1 on a free port, accepts
// only the users given (password file, no anonymous access), keeps nothing on disk
// between runs and logs everything to a file in its own temporary folder. It is
// stopped (and its folder removed) when the object goes, also when the test fails;
// a broker whose test process dies is killed with it.
class MosquittoBroker
{
public:
    // The user every broker accepts unless told otherwise.
    static constexpr const char* kUser = "lumetra";
    static constexpr const char* kPassword = "broker-secret";

    MosquittoBroker();
    ~MosquittoBroker();

    MosquittoBroker(const MosquittoBroker&) = delete;
    MosquittoBroker& operator=(const MosquittoBroker&) = delete;

    // Adds an account before Start (kUser is always present).
    void AddUser(const std::string& user, const std::string& password);

    // Starts the broker and waits (bounded) until it accepts connections. The first
    // start picks the port; later starts reuse it. False with a reason in Error().
    bool Start();
    // Stops the broker (SIGTERM, then SIGKILL if it does not end in time).
    void Stop();
    // Stop, then Start on the same port.
    bool Restart();

    bool IsRunning() const { return pid_ > 0; }
    std::string Host() const { return "127.0.0.1"; }
    int Port() const { return port_; }
    std::string User() const { return kUser; }
    std::string Password() const { return kPassword; }
    QString Error() const { return error_; }
    QString Folder() const { return dir_.path(); }

    // The broker's log so far.
    QString Log() const;
    // How many log lines contain `text`.
    int CountLogLines(const QString& text) const;
    // Waits until at least `count` log lines contain `text`; false at the time-out.
    bool WaitForLog(const QString& text, int count = 1, int timeoutMs = 10000) const;

private:
    bool WriteFiles();
    bool WaitUntilAccepting(int timeoutMs);

    QTemporaryDir dir_;
    std::vector<std::pair<std::string, std::string>> users_;
    int port_ = 0;
    pid_t pid_ = -1;
    bool filesWritten_ = false;
    QString error_;
};
