#include "endpoint/CSocket.h"

#include "platform/UiThread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// Lifetime token: queued work holds a weak reference and does nothing once the
// socket is gone.
struct CSocket::Alive
{
};

// Bytes sent from threads other than the UI thread, waiting for the UI thread.
struct CSocket::Handoff
{
    std::mutex lock;
    QByteArray pending;
    CSocket* owner = nullptr; // cleared by the destructor (UI thread)
    bool open = false;        // connected: cross-thread sends are accepted
    bool drainPosted = false; // a drain is queued on the UI thread
};

namespace {

// Guards the list of hand-overs posted to the UI thread (CSocket::PostedHandoffs).
std::mutex& PostedLock()
{
    static auto* lock = new std::mutex;
    return *lock;
}

// A zero-time single-shot timer of the UI thread that drains the posted hand-overs.
// Other threads start it by name through the event queue, so the call they post is
// made and carried by Qt alone and holds nothing of theirs.
QPointer<QTimer>& DrainTimer()
{
    static auto* timer = new QPointer<QTimer>;
    return *timer;
}

int ErrnoFor(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return ECONNREFUSED;
    case QAbstractSocket::RemoteHostClosedError:
        return ECONNRESET;
    case QAbstractSocket::HostNotFoundError:
        return EHOSTUNREACH;
    case QAbstractSocket::SocketAccessError:
        return EACCES;
    case QAbstractSocket::SocketResourceError:
        return EMFILE;
    case QAbstractSocket::SocketTimeoutError:
        return ETIMEDOUT;
    case QAbstractSocket::NetworkError:
        return ENETUNREACH;
    case QAbstractSocket::AddressInUseError:
        return EADDRINUSE;
    case QAbstractSocket::SocketAddressNotAvailableError:
        return EADDRNOTAVAIL;
    case QAbstractSocket::UnsupportedSocketOperationError:
        return EOPNOTSUPP;
    default:
        return EIO;
    }
}

} // namespace

CSocket::CSocket() : alive_(std::make_shared<Alive>()), handoff_(std::make_shared<Handoff>())
{
    handoff_->owner = this;
    // Sockets are made on the UI thread: the drain timer is made there too, once per
    // application object.
    QCoreApplication* app = QCoreApplication::instance();
    if (app != nullptr && DrainTimer().isNull() && UiThread::IsCurrent()) {
        auto* timer = new QTimer(app);
        timer->setSingleShot(true);
        timer->setInterval(0);
        QObject::connect(timer, &QTimer::timeout, timer, &CSocket::DrainPosted);
        std::lock_guard<std::mutex> guard(PostedLock());
        DrainTimer() = timer;
    }
}

CSocket::~CSocket()
{
    alive_.reset();
    {
        std::lock_guard<std::mutex> guard(handoff_->lock);
        handoff_->owner = nullptr;
    }
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
    AttachStream(new QTcpSocket(), false);
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
    auto* server = new QTcpServer();
    if (!server->setSocketDescriptor(listenFd_)) {
        lastError_ = ErrnoFor(server->serverError());
        delete server;
        return false;
    }
    // The server owns the descriptor from here on.
    listenFd_ = -1;
    server_ = server;
    acceptEnabled_ = true;
    acceptPosted_ = false;
    connections_.push_back(
        QObject::connect(server_, &QTcpServer::newConnection, [this]() { ScheduleAccept(); }));
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
    connection.AttachStream(accepted, true);
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

void CSocket::AttachStream(QTcpSocket* stream, bool accepted)
{
    stream_ = stream;
    readEnabled_ = true;
    readPosted_ = false;
    peerClosed_ = false;
    peerCloseError_ = 0;
    closeNotified_ = false;

    connections_.push_back(QObject::connect(stream_, &QTcpSocket::readyRead, [this]() { ScheduleRead(); }));
    connections_.push_back(QObject::connect(stream_, &QTcpSocket::connected, [this]() {
        stream_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        {
            std::lock_guard<std::mutex> guard(handoff_->lock);
            handoff_->open = true;
        }
        PostNotification(FD_CONNECT, 0);
        PostNotification(FD_WRITE, 0);
    }));
    connections_.push_back(
        QObject::connect(stream_, &QTcpSocket::errorOccurred, [this](QAbstractSocket::SocketError error) {
            const int code = ErrnoFor(error);
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
    connections_.push_back(QObject::connect(stream_, &QTcpSocket::disconnected, [this]() {
        const int code = stream_->error() == QAbstractSocket::RemoteHostClosedError ? 0 : peerCloseError_;
        HandleDisconnected(code);
    }));

    if (!accepted) {
        return;
    }
    if (stream_->state() == QAbstractSocket::ConnectedState) {
        stream_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        {
            std::lock_guard<std::mutex> guard(handoff_->lock);
            handoff_->open = true;
        }
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
        delete stream_;
        stream_ = nullptr;
    }
    if (server_ != nullptr) {
        server_->close();
        delete server_;
        server_ = nullptr;
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
    {
        std::lock_guard<std::mutex> guard(handoff_->lock);
        handoff_->open = false;
        handoff_->pending.clear();
    }
    ++generation_;
    ReleaseQtObjects();
    readEnabled_ = true;
    readPosted_ = false;
    readDeferred_ = false;
    acceptEnabled_ = true;
    acceptPosted_ = false;
    peerClosed_ = false;
    closeNotified_ = false;
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
    const int waited = WaitFor([this]() {
        return stream_ == nullptr || stream_->state() == QAbstractSocket::ConnectedState ||
               stream_->state() == QAbstractSocket::UnconnectedState;
    });
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

int CSocket::Send(const void* data, int length, int)
{
    if (length < 0 || (data == nullptr && length > 0)) {
        if (UiThread::IsCurrent()) {
            lastError_ = EINVAL;
        }
        return SOCKET_ERROR;
    }
    if (!UiThread::IsCurrent()) {
        const std::shared_ptr<Handoff> handoff = handoff_;
        std::lock_guard<std::mutex> guard(handoff->lock);
        if (!handoff->open) {
            return SOCKET_ERROR;
        }
        if (length == 0) {
            return 0;
        }
        handoff->pending.append(static_cast<const char*>(data), length);
        if (!handoff->drainPosted) {
            std::lock_guard<std::mutex> posted(PostedLock());
            QTimer* timer = DrainTimer().data();
            if (timer == nullptr) {
                return SOCKET_ERROR;
            }
            handoff->drainPosted = true;
            PostedHandoffs().push_back(handoff);
            QMetaObject::invokeMethod(timer, "start", Qt::QueuedConnection);
        }
        return length;
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
        lastError_ = ErrnoFor(stream_->error());
        return SOCKET_ERROR;
    }
    // No flush here: the socket writes its queue as soon as the UI thread is back in
    // its event loop, so the chunks handled in one pass of the loop leave in one
    // system call instead of one each (a bulk transfer moves 1 KiB per notification).
    return static_cast<int>(written);
}

std::vector<std::shared_ptr<CSocket::Handoff>>& CSocket::PostedHandoffs()
{
    // Never destroyed: a sending thread may post while the process exits.
    static auto* posted = new std::vector<std::shared_ptr<Handoff>>;
    return *posted;
}

void CSocket::DrainPosted()
{
    std::vector<std::shared_ptr<Handoff>> posted;
    {
        std::lock_guard<std::mutex> guard(PostedLock());
        posted.swap(PostedHandoffs());
    }
    for (const std::shared_ptr<Handoff>& handoff : posted) {
        CSocket* owner = nullptr;
        {
            std::lock_guard<std::mutex> guard(handoff->lock);
            owner = handoff->owner;
        }
        if (owner != nullptr) {
            owner->DrainHandoff();
        }
    }
}

void CSocket::DrainHandoff()
{
    QByteArray bytes;
    {
        std::lock_guard<std::mutex> guard(handoff_->lock);
        bytes.swap(handoff_->pending);
        handoff_->drainPosted = false;
    }
    if (!bytes.isEmpty() && IsConnected()) {
        stream_->write(bytes); // written from the event loop, as in Send
    }
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
        const int waited = WaitFor([this]() {
            return stream_ == nullptr || stream_->bytesAvailable() > 0 ||
                   stream_->state() != QAbstractSocket::ConnectedState;
        });
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
        lastError_ = ErrnoFor(stream_->error());
        return SOCKET_ERROR;
    }
    AfterRead();
    return static_cast<int>(count);
}

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
    {
        std::lock_guard<std::mutex> guard(handoff_->lock);
        handoff_->open = false;
        handoff_->pending.clear();
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
    if (!readEnabled_ || readPosted_ || stream_ == nullptr || (events_ & FD_READ) == 0 ||
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
        if (stream_ == nullptr || stream_->bytesAvailable() == 0 || (events_ & FD_READ) == 0) {
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

int CSocket::WaitFor(const std::function<bool()>& done)
{
    if (done()) {
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
        wakers.push_back(QObject::connect(stream_, &QTcpSocket::readyRead, &loop, &QEventLoop::quit));
        wakers.push_back(QObject::connect(stream_, &QTcpSocket::stateChanged, &loop, &QEventLoop::quit));
        wakers.push_back(QObject::connect(stream_, &QTcpSocket::errorOccurred, &loop, &QEventLoop::quit));
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
        finished = done();
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
