#pragma once

#include <QProcess>

#include <memory>
#include <string>

// The port-forward peer figure: two `socat` TCP relays in a chain on loopback in
// front of a server (front port -> second relay -> server), each relay forking a
// process per connection. It stands for two plain user-space hops with nothing but
// the copying in between, the shape of the tunnel's listener -> relay -> device path.
class RelayChain
{
public:
    RelayChain() = default;
    ~RelayChain();
    RelayChain(const RelayChain&) = delete;
    RelayChain& operator=(const RelayChain&) = delete;

    // Starts both relays in front of 127.0.0.1:serverPort and waits (bounded) until
    // the front one accepts. False with the reason in `error` (e.g. no socat).
    bool Start(int serverPort, std::string* error);
    int FrontPort() const { return frontPort_; }

private:
    bool StartRelay(QProcess& relay, int listenPort, int targetPort, std::string* error);

    QProcess front_;
    QProcess back_;
    int frontPort_ = 0;
};
