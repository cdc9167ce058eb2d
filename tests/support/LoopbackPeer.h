#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

// A far-side TCP server for one test, on a free loopback port and driven by the test
// thread's event loop: takes the first connection and keeps what arrives on it.
class LoopbackPeer
{
public:
    LoopbackPeer()
    {
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            QTcpSocket* next = server_.nextPendingConnection();
            if (next == nullptr || connection != nullptr)
                return;
            connection = next;
            QObject::connect(connection, &QTcpSocket::readyRead,
                             [this] { received += connection->readAll(); });
            QObject::connect(connection, &QTcpSocket::disconnected, [this] {
                received += connection->readAll();
                peerClosed = true;
            });
        });
        server_.listen(QHostAddress::LocalHost, 0);
    }
    uint16_t Port() const { return server_.serverPort(); }
    void Write(const QByteArray& bytes)
    {
        connection->write(bytes);
        connection->flush();
    }

    QTcpSocket* connection = nullptr;
    QByteArray received;
    bool peerClosed = false;

private:
    QTcpServer server_;
};
