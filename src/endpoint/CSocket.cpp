#include "endpoint/CSocket.h"

#include "endpoint/SocketErrorCode.h"
#include "endpoint/SocketHandoff.h"
#include "platform/UiThread.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

CSocket::CSocket() : alive_(std::make_shared<Alive>()), handoff_(std::make_shared<SocketHandoff>(this))
{
    // Sockets are made on the UI thread: the timer that drains what other threads
    // hand over is made there too, once per application object.
    platform::PostedWork::PrepareTimer();
}

CSocket::~CSocket()
{
    alive_.reset();
    handoff_->Detach();
    Close();
}

void CSocket::OnReceive(int) {}
void CSocket::OnSend(int) {}
void CSocket::OnOutOfBandData(int) {}
void CSocket::OnAccept(int) {}
void CSocket::OnConnect(int) {}
void CSocket::OnClose(int) {}

bool CSocket::Create()
{
    if (stream_ != nullptr || server_ != nullptr || listenFd_ >= 0) {
        lastError_ = EISCONN;
        return false;
    }
    events_ = FD_ALL_EVENTS;
    AttachStream(std::make_unique<QTcpSocket>(), false);
    return true;
}

bool CSocket::Socket(long events)
{
    if (stream_ != nullptr || server_ != nullptr || listenFd_ >= 0) {
        lastError_ = EISCONN;
        return false;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        lastError_ = errno;
        return false;
    }
    listenFd_ = fd;
    events_ = events;
    return true;
}

bool CSocket::SetReuseAddress(bool on)
{
    if (listenFd_ < 0) {
        lastError_ = ENOTSOCK;
        return false;
    }
    const int value = on ? 1 : 0;
    if (::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &value, sizeof value) != 0) {
        lastError_ = errno;
        return false;
    }
    return true;
}

bool CSocket::Bind(uint16_t port, const QString& address)
{
    if (listenFd_ < 0) {
        lastError_ = ENOTSOCK;
        return false;
    }
    // Only a literal IPv4 address names the interface; anything else cannot be bound.
    QHostAddress host;
    if (!host.setAddress(address) || host.protocol() != QAbstractSocket::IPv4Protocol) {
        lastError_ = EADDRNOTAVAIL;
        return false;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(host.toIPv4Address());
    if (::bind(listenFd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        lastError_ = errno;
        return false;
    }
    return true;
}

bool CSocket::Listen(int backlog)
{
    if (listenFd_ < 0) {
        lastError_ = ENOTSOCK;
        return false;
    }
    if (::listen(listenFd_, backlog) != 0) {
        lastError_ = errno;
        return false;
    }
    auto server = std::make_unique<QTcpServer>();
    if (!server->setSocketDescriptor(listenFd_)) {
        lastError_ = SocketErrorCode(server->serverError());
        return false;
    }
    // The server owns the descriptor from here on.
    listenFd_ = -1;
    server_ = std::move(server);
    acceptEnabled_ = true;
    acceptPosted_ = false;
    connections_.push_back(
        QObject::connect(server_.get(), &QTcpServer::newConnection, [this]() { ScheduleAccept(); }));
    ScheduleAccept();
    return true;
}

bool CSocket::Accept(CSocket& connection)
{
    if (server_ == nullptr) {
        lastError_ = EINVAL;
        return false;
    }
    if (&connection == this || connection.stream_ != nullptr || connection.server_ != nullptr ||
        connection.listenFd_ >= 0) {
        lastError_ = EISCONN;
        return false;
    }
    acceptEnabled_ = true;
    QTcpSocket* accepted = server_->nextPendingConnection();
    if (accepted == nullptr) {
        lastError_ = EWOULDBLOCK;
        return false;
    }
    // The connection outlives the listener.
    accepted->setParent(nullptr);
    connection.events_ = events_;
    connection.AttachStream(std::unique_ptr<QTcpSocket>(accepted), true);
    ScheduleAccept();
    return true;
}

bool CSocket::AsyncSelect(long events)
{
    if (stream_ == nullptr && server_ == nullptr && listenFd_ < 0) {
        lastError_ = ENOTSOCK;
        return false;
    }
    events_ = events;
    ScheduleRead();
    ScheduleAccept();
    return true;
}

void CSocket::AttachStream(std::unique_ptr<QTcpSocket> stream, bool accepted)
{
    stream_ = std::move(stream);
    // Bounded read-ahead: while nobody reads, the system's window holds the peer back.
    stream_->setReadBufferSize(kReadBufferSize);
    queued_ = 0;
    readEnabled_ = true;
    readPosted_ = false;
    peerClosed_ = false;
    peerCloseError_ = 0;
    closeNotified_ = false;

    connections_.push_back(
        QObject::connect(stream_.get(), &QTcpSocket::readyRead, [this]() { ScheduleRead(); }));
    connections_.push_back(
        QObject::connect(stream_.get(), &QTcpSocket::bytesWritten, [this]() { NoteUnwritten(); }));
    connections_.push_back(QObject::connect(stream_.get(), &QTcpSocket::connected, [this]() {
        stream_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        handoff_->Open();
        PostNotification(FD_CONNECT, 0);
        PostNotification(FD_WRITE, 0);
    }));
    connections_.push_back(QObject::connect(
        stream_.get(), &QTcpSocket::errorOccurred, [this](QAbstractSocket::SocketError error) {
            const int code = SocketErrorCode(error);
            lastError_ = code;
            if (error == QAbstractSocket::RemoteHostClosedError) {
                return; // reported by disconnected
            }
            if (stream_->state() != QAbstractSocket::ConnectedState && !peerClosed_) {
                // An outgoing connection that never came up.
                PostNotification(FD_CONNECT, code);
            } else {
                peerCloseError_ = code;
            }
        }));
    connections_.push_back(QObject::connect(stream_.get(), &QTcpSocket::disconnected, [this]() {
        const int code = stream_->error() == QAbstractSocket::RemoteHostClosedError ? 0 : peerCloseError_;
        HandleDisconnected(code);
    }));

    if (!accepted) {
        return;
    }
    if (stream_->state() == QAbstractSocket::ConnectedState) {
        stream_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        handoff_->Open();
        PostNotification(FD_WRITE, 0);
        ScheduleRead();
    } else {
        // The peer has gone already.
        HandleDisconnected(0);
    }
}

void CSocket::ReleaseQtObjects()
{
    for (const QMetaObject::Connection& connection : connections_) {
        QObject::disconnect(connection);
    }
    connections_.clear();
    if (stream_ != nullptr) {
        if (stream_->state() == QAbstractSocket::ConnectedState) {
            // What was sent before Close still goes out.
            stream_->flush();
            while (stream_->bytesToWrite() > 0 && stream_->waitForBytesWritten(CloseFlushWaitMs)) {
            }
        }
        stream_->close();
        stream_.reset();
    }
    queued_ = 0;
    if (server_ != nullptr) {
        server_->close();
        server_.reset();
    }
    if (listenFd_ >= 0) {
        ::close(listenFd_);
        listenFd_ = -1;
    }
}

void CSocket::Close()
{
    // Bytes another thread handed over before the close are sent first.
    DrainHandoff();
    handoff_->Shut();
    ++generation_;
    ReleaseQtObjects();
    readEnabled_ = true;
    readPosted_ = false;
    readDeferred_ = false;
    acceptEnabled_ = true;
    acceptPosted_ = false;
    peerClosed_ = false;
    closeNotified_ = false;
    receivePaused_ = false;
    backlogged_ = false;
    // A blocking call on this socket ends now.
    for (QEventLoop* loop : waits_) {
        loop->quit();
    }
}

intptr_t CSocket::NativeHandle() const
{
    if (stream_ != nullptr) {
        return stream_->socketDescriptor();
    }
    if (server_ != nullptr) {
        return server_->socketDescriptor();
    }
    return listenFd_;
}

bool CSocket::IsListening() const
{
    return server_ != nullptr && server_->isListening();
}

bool CSocket::IsConnected() const
{
    return stream_ != nullptr && stream_->state() == QAbstractSocket::ConnectedState;
}

bool CSocket::HasEnded() const
{
    if (server_ != nullptr || listenFd_ >= 0) {
        return false;
    }
    return stream_ == nullptr ||
           (stream_->state() == QAbstractSocket::UnconnectedState && stream_->bytesAvailable() == 0);
}

uint16_t CSocket::LocalPort() const
{
    if (stream_ != nullptr) {
        return stream_->localPort();
    }
    if (server_ != nullptr) {
        return server_->serverPort();
    }
    return 0;
}

uint16_t CSocket::PeerPort() const
{
    return stream_ != nullptr ? stream_->peerPort() : 0;
}

bool CSocket::Connect(const QString& host, uint16_t port)
{
    if (stream_ == nullptr) {
        lastError_ = ENOTSOCK;
        return false;
    }
    if (stream_->state() != QAbstractSocket::UnconnectedState) {
        lastError_ = stream_->state() == QAbstractSocket::ConnectedState ? EISCONN : EALREADY;
        return false;
    }
    lastError_ = 0;
    stream_->connectToHost(host, port);
    const int waited = WaitFor(&CSocket::ConnectSettled);
    if (waited < 0) {
        return false;
    }
    if (IsConnected()) {
        return true;
    }
    if (stream_ != nullptr && waited == 0) {
        // Gave up waiting: stop trying so that nothing connects behind the caller's back.
        stream_->abort();
        lastError_ = ETIMEDOUT;
    } else if (lastError_ == 0) {
        lastError_ = stream_ == nullptr ? ENOTSOCK : ECONNREFUSED;
    }
    return false;
}

bool CSocket::ConnectSettled() const
{
    return stream_ == nullptr || stream_->state() == QAbstractSocket::ConnectedState ||
           stream_->state() == QAbstractSocket::UnconnectedState;
}

int CSocket::Send(const void* data, int length, int)
{
    if (length < 0 || (data == nullptr && length > 0)) {
        if (platform::UiThread::IsCurrent()) {
            lastError_ = EINVAL;
        }
        return SOCKET_ERROR;
    }
    if (!platform::UiThread::IsCurrent()) {
        return handoff_->Append(data, length);
    }

    if (!IsConnected()) {
        lastError_ = ENOTCONN;
        return SOCKET_ERROR;
    }
    // Bytes handed over earlier by another thread go first.
    DrainHandoff();
    if (length == 0) {
        return 0;
    }
    const qint64 written = stream_->write(static_cast<const char*>(data), length);
    if (written < 0) {
        lastError_ = SocketErrorCode(stream_->error());
        return SOCKET_ERROR;
    }
    // No flush here: the socket writes its queue as soon as the UI thread is back in
    // its event loop, so the chunks handled in one pass of the loop leave in one
    // system call instead of one each (a bulk transfer moves 1 KiB per notification).
    NoteUnwritten();
    return static_cast<int>(written);
}

void CSocket::DrainHandoff()
{
    const QByteArray bytes = handoff_->Take();
    if (!bytes.isEmpty() && IsConnected()) {
        stream_->write(bytes); // written from the event loop, as in Send
        NoteUnwritten();
    }
    if (handoff_->TakeResume()) {
        ResumeReceive();
    }
}

int64_t CSocket::UnwrittenBytes() const
{
    return queued_.load() + handoff_->PendingSize();
}

void CSocket::NoteUnwritten()
{
    queued_ = stream_ != nullptr ? stream_->bytesToWrite() : 0;
    const int64_t unwritten = UnwrittenBytes();
    if (!backlogged_) {
        backlogged_ = unwritten > kWriteHighWater;
    } else if (unwritten <= kWriteLowWater) {
        backlogged_ = false;
        PostNotification(FD_WRITE, 0);
    }
}

void CSocket::PauseReceive()
{
    receivePaused_ = true;
}

void CSocket::ResumeReceive()
{
    if (!platform::UiThread::IsCurrent()) {
        handoff_->RequestResume();
        return;
    }
    if (receivePaused_) {
        receivePaused_ = false;
        ScheduleRead();
    }
}

int64_t CSocket::BytesReadable() const
{
    return stream_ != nullptr ? stream_->bytesAvailable() : 0;
}

bool CSocket::ReadableOrEnded() const
{
    return stream_ == nullptr || stream_->bytesAvailable() > 0 ||
           stream_->state() != QAbstractSocket::ConnectedState;
}

int CSocket::Receive(void* buffer, int length, int)
{
    if (buffer == nullptr || length <= 0) {
        lastError_ = EINVAL;
        return SOCKET_ERROR;
    }
    if (stream_ == nullptr) {
        lastError_ = ENOTSOCK;
        return SOCKET_ERROR;
    }
    readEnabled_ = true;
    if (stream_->bytesAvailable() == 0) {
        if (stream_->state() != QAbstractSocket::ConnectedState) {
            if (peerClosed_) {
                AfterRead();
                return 0;
            }
            lastError_ = ENOTCONN;
            return SOCKET_ERROR;
        }
        const int waited = WaitFor(&CSocket::ReadableOrEnded);
        if (waited < 0) {
            return SOCKET_ERROR;
        }
        if (stream_ == nullptr) {
            lastError_ = ENOTSOCK;
            return SOCKET_ERROR;
        }
        if (stream_->bytesAvailable() == 0) {
            if (peerClosed_) {
                AfterRead();
                return 0;
            }
            lastError_ = waited == 0 ? ETIMEDOUT : ENOTCONN;
            return SOCKET_ERROR;
        }
    }
    const qint64 count = stream_->read(static_cast<char*>(buffer), length);
    if (count < 0) {
        lastError_ = SocketErrorCode(stream_->error());
        return SOCKET_ERROR;
    }
    AfterRead();
    return static_cast<int>(count);
}
