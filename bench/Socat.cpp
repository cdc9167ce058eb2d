#include "Socat.h"

#include <QStandardPaths>

Socat::~Socat()
{
    Stop();
}

bool Socat::Available()
{
    return !QStandardPaths::findExecutable("socat").isEmpty();
}

bool Socat::Start(const QString& left, const QString& right, std::string* error)
{
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start("socat", {left, right});
    if (!process_.waitForStarted(5000)) {
        *error = "socat " + left.toStdString() + " " + right.toStdString() + ": " +
                 process_.errorString().toStdString();
        return false;
    }
    // A wrong address makes socat end at once.
    if (process_.waitForFinished(50)) {
        *error = "socat " + left.toStdString() + " " + right.toStdString() + " ended with " +
                 std::to_string(process_.exitCode());
        return false;
    }
    return true;
}

void Socat::Stop()
{
    if (process_.state() == QProcess::NotRunning) {
        return;
    }
    process_.terminate();
    if (!process_.waitForFinished(3000)) {
        process_.kill();
        process_.waitForFinished(3000);
    }
}
