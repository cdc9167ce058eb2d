#pragma once

#include <QByteArray>
#include <QTcpServer>
#include <QTcpSocket>

// A server of the far side for one test (port-transfer or relay server): listens on
// a free loopback port, keeps the first connection and what arrives on it. Lives
// on the test's thread, whose event loop drives it.
class TcpPeer
{
public:
    TcpPeer();

    bool IsListening() const { return server_.isListening(); }
    uint16_t Port() const { return server_.serverPort(); }
    bool HasConnection() const { return connection_ != nullptr; }
    const QByteArray& Received() const { return received_; }
    bool PeerClosed() const { return peerClosed_; }
    void Write(const QByteArray& bytes);
    // Forgets what arrived so far.
    void Clear() { received_.clear(); }

private:
    QTcpServer server_;
    QTcpSocket* connection_ = nullptr;
    QByteArray received_;
    bool peerClosed_ = false;
};
