#include "LoopbackPeer.h"

LoopbackPeer::LoopbackPeer()
{
    QObject::connect(&server_, &QTcpServer::newConnection, [this]() {
        QTcpSocket* next = server_.nextPendingConnection();
        if (next == nullptr || connection_ != nullptr) {
            return;
        }
        connection_ = next;
        QObject::connect(connection_, &QTcpSocket::readyRead, [this]() {
            received_ += connection_->readAll();
            if (onData_) {
                onData_();
            }
        });
        QObject::connect(connection_, &QTcpSocket::disconnected, [this]() {
            received_ += connection_->readAll();
            peerClosed_ = true;
        });
    });
    server_.listen(QHostAddress::LocalHost, 0);
}

LoopbackPeer::~LoopbackPeer()
{
    if (connection_ != nullptr) {
        QObject::disconnect(connection_, nullptr, nullptr, nullptr);
        connection_->abort();
    }
    server_.close();
}

void LoopbackPeer::Write(const QByteArray& bytes)
{
    if (connection_ != nullptr) {
        connection_->write(bytes);
        connection_->flush();
    }
}

void LoopbackPeer::CloseConnection()
{
    if (connection_ != nullptr) {
        connection_->disconnectFromHost();
    }
}
