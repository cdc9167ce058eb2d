#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <functional>
#include <memory>

// The far end of a test connection: listens on a free loopback port, takes the
// first connection and keeps everything it receives. Lives on the test's thread.
class LoopbackPeer
{
public:
    LoopbackPeer();
    ~LoopbackPeer();

    bool IsListening() const { return server_.isListening(); }
    uint16_t Port() const { return server_.serverPort(); }

    // True once a client connected.
    bool HasConnection() const { return connection_ != nullptr; }
    QTcpSocket* Connection() const { return connection_; }

    // Everything received so far.
    const QByteArray& Received() const { return received_; }
    // True once the client closed its end.
    bool PeerClosed() const { return peerClosed_; }

    void Write(const QByteArray& bytes);
    // Called on the test's thread after each arrival of bytes.
    void OnData(std::function<void()> handler) { onData_ = std::move(handler); }
    // Closes this end after everything written has gone out.
    void CloseConnection();

private:
    QTcpServer server_;
    QTcpSocket* connection_ = nullptr;
    QByteArray received_;
    bool peerClosed_ = false;
    std::function<void()> onData_;
};
