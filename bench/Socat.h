#pragma once

#include <QProcess>
#include <QStringList>

#include <string>

// One socat process with two addresses, for the peers: the tool a user would put
// between an application and a device instead of a tunnel. Ended with the object.
class Socat
{
public:
    Socat() = default;
    ~Socat();
    Socat(const Socat&) = delete;
    Socat& operator=(const Socat&) = delete;

    // Whether socat can be run at all.
    static bool Available();

    // Starts `socat <left> <right>`; false with the reason in `error` when it could not
    // be started or ended at once.
    bool Start(const QString& left, const QString& right, std::string* error);
    // SIGTERM and a bounded wait, then SIGKILL.
    void Stop();

private:
    QProcess process_;
};
