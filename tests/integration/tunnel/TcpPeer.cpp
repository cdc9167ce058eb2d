#include "TcpPeer.h"

#include <QHostAddress>

TcpPeer::TcpPeer()
{
    QObject::connect(&server_, &QTcpServer::newConnection, [this] {
        QTcpSocket* next = server_.nextPendingConnection();
        if (connection_ != nullptr) {
            next->close();
            next->deleteLater();
            return;
        }
        connection_ = next;
        connection_->setParent(&server_);
        QObject::connect(connection_, &QTcpSocket::readyRead,
                         [this] { received_ += connection_->readAll(); });
        QObject::connect(connection_, &QTcpSocket::disconnected, [this] {
            received_ += connection_->readAll();
            peerClosed_ = true;
        });
    });
    server_.listen(QHostAddress::LocalHost, 0);
}

void TcpPeer::Write(const QByteArray& bytes)
{
    if (connection_ != nullptr) {
        connection_->write(bytes);
        connection_->flush();
    }
}
