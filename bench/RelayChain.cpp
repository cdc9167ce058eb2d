#include "RelayChain.h"

#include "support/FreePort.h"

#include <QElapsedTimer>
#include <QStandardPaths>
#include <QThread>

#include <csignal>

namespace {

constexpr int kStartMs = 5000;

void End(QProcess& relay)
{
    if (relay.state() == QProcess::NotRunning) {
        return;
    }
    // SIGTERM lets socat end the processes it forked for the connections.
    ::kill(static_cast<pid_t>(relay.processId()), SIGTERM);
    if (!relay.waitForFinished(kStartMs)) {
        relay.kill();
        relay.waitForFinished(kStartMs);
    }
}

} // namespace

RelayChain::~RelayChain()
{
    End(front_);
    End(back_);
}

bool RelayChain::StartRelay(QProcess& relay, int listenPort, int targetPort, std::string* error)
{
    const QString socat = QStandardPaths::findExecutable("socat");
    if (socat.isEmpty()) {
        *error = "socat is not installed";
        return false;
    }
    relay.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    relay.start(socat, {QStringLiteral("TCP-LISTEN:%1,bind=127.0.0.1,fork,reuseaddr").arg(listenPort),
                        QStringLiteral("TCP:127.0.0.1:%1").arg(targetPort)});
    if (!relay.waitForStarted(kStartMs)) {
        *error = "socat did not start";
        return false;
    }
    // Ready once it listens; a connection made to find out ends at once.
    QElapsedTimer waited;
    waited.start();
    while (!FreePort::Accepts(listenPort)) {
        if (relay.state() == QProcess::NotRunning || waited.elapsed() > kStartMs) {
            *error = "socat does not listen on " + std::to_string(listenPort);
            return false;
        }
        QThread::msleep(10);
    }
    return true;
}

bool RelayChain::Start(int serverPort, std::string* error)
{
    const int backPort = FreePort::Pick();
    frontPort_ = FreePort::Pick();
    if (backPort == 0 || frontPort_ == 0 || backPort == frontPort_) {
        *error = "no free ports";
        return false;
    }
    return StartRelay(back_, backPort, serverPort, error) && StartRelay(front_, frontPort_, backPort, error);
}
