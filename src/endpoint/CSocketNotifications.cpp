#include "endpoint/CSocket.h"

#include "endpoint/SocketHandoff.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

// The notification side of CSocket: re-notification after reads and accepts, the
// posted notifications and their delivery, and the blocking wait of Connect and
// Receive.

void CSocket::AfterRead()
{
    readEnabled_ = true;
    if (stream_ == nullptr) {
        return;
    }
    if (stream_->bytesAvailable() > 0) {
        ScheduleRead();
    } else if (peerClosed_ && !closeNotified_) {
        closeNotified_ = true;
        PostNotification(FD_CLOSE, peerCloseError_);
    }
}

void CSocket::HandleDisconnected(int errorCode)
{
    peerClosed_ = true;
    peerCloseError_ = errorCode;
    handoff_->Shut();
    if (backlogged_) {
        // What was left unwritten will never go: whoever waits for room waits no more.
        backlogged_ = false;
        PostNotification(FD_WRITE, 0);
    }
    if (stream_->bytesAvailable() > 0) {
        // The close is reported once everything the peer sent has been read.
        ScheduleRead();
    } else if (!closeNotified_) {
        closeNotified_ = true;
        PostNotification(FD_CLOSE, errorCode);
    }
}

void CSocket::ScheduleRead()
{
    if (!readEnabled_ || readPosted_ || receivePaused_ || stream_ == nullptr || (events_ & FD_READ) == 0 ||
        stream_->bytesAvailable() == 0) {
        return;
    }
    readEnabled_ = false;
    readPosted_ = true;
    PostNotification(FD_READ, 0);
}

void CSocket::ScheduleAccept()
{
    if (!acceptEnabled_ || acceptPosted_ || server_ == nullptr || (events_ & FD_ACCEPT) == 0 ||
        !server_->hasPendingConnections()) {
        return;
    }
    acceptEnabled_ = false;
    acceptPosted_ = true;
    PostNotification(FD_ACCEPT, 0);
}

void CSocket::PostNotification(long event, int errorCode)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        return;
    }
    const std::weak_ptr<Alive> alive = alive_;
    const uint64_t generation = generation_;
    QMetaObject::invokeMethod(
        app,
        [this, alive, event, errorCode, generation]() {
            if (!alive.expired()) {
                Deliver(event, errorCode, generation);
            }
        },
        Qt::QueuedConnection);
}

void CSocket::Deliver(long event, int errorCode, uint64_t generation)
{
    if (generation != generation_) {
        return; // queued for a connection that has been closed since
    }
    switch (event) {
    case FD_READ:
        readPosted_ = false;
        if (blockingDepth_ > 0) {
            // A blocking call on this socket is reading; notify once it is over.
            readEnabled_ = true;
            readDeferred_ = true;
            return;
        }
        if (stream_ == nullptr || stream_->bytesAvailable() == 0 || (events_ & FD_READ) == 0 ||
            receivePaused_) {
            // A paused socket is notified again when it resumes.
            readEnabled_ = true;
            return;
        }
        OnReceive(0);
        return;
    case FD_ACCEPT:
        acceptPosted_ = false;
        if (server_ == nullptr || !server_->hasPendingConnections() || (events_ & FD_ACCEPT) == 0) {
            acceptEnabled_ = true;
            return;
        }
        OnAccept(0);
        return;
    case FD_CONNECT:
        if ((events_ & FD_CONNECT) != 0) {
            OnConnect(errorCode);
        }
        return;
    case FD_WRITE:
        if ((events_ & FD_WRITE) != 0) {
            OnSend(errorCode);
        }
        return;
    case FD_CLOSE:
        if ((events_ & FD_CLOSE) != 0) {
            OnClose(errorCode);
        }
        return;
    default:
        return;
    }
}

int CSocket::WaitFor(bool (CSocket::*done)() const)
{
    if ((this->*done)()) {
        return 1;
    }
    if (QCoreApplication::instance() == nullptr) {
        return 0;
    }
    const std::weak_ptr<Alive> alive = alive_;
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    std::vector<QMetaObject::Connection> wakers;
    if (stream_ != nullptr) {
        wakers.push_back(QObject::connect(stream_.get(), &QTcpSocket::readyRead, &loop, &QEventLoop::quit));
        wakers.push_back(
            QObject::connect(stream_.get(), &QTcpSocket::stateChanged, &loop, &QEventLoop::quit));
        wakers.push_back(
            QObject::connect(stream_.get(), &QTcpSocket::errorOccurred, &loop, &QEventLoop::quit));
    }
    waits_.push_back(&loop);
    ++blockingDepth_;
    deadline.start(BlockingWaitMs);
    bool finished = false;
    while (true) {
        loop.exec();
        if (alive.expired()) {
            return -1;
        }
        // A Close of this socket also wakes the loop; `done` then sees it closed.
        finished = (this->*done)();
        if (finished || !deadline.isActive()) {
            break;
        }
    }
    for (const QMetaObject::Connection& waker : wakers) {
        QObject::disconnect(waker);
    }
    waits_.erase(std::remove(waits_.begin(), waits_.end(), &loop), waits_.end());
    --blockingDepth_;
    if (blockingDepth_ == 0 && readDeferred_) {
        readDeferred_ = false;
        ScheduleRead();
    }
    return finished ? 1 : 0;
}
