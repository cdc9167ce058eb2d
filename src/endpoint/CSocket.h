#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <QMetaObject>

class QEventLoop;
class SocketHandoff;
class QTcpServer;
class QTcpSocket;

// Result of a failed Send or Receive.
constexpr int SOCKET_ERROR = -1;

// Notification classes a socket can ask for (AsyncSelect).
constexpr long FD_READ = 0x01;
constexpr long FD_WRITE = 0x02;
constexpr long FD_OOB = 0x04;
constexpr long FD_ACCEPT = 0x08;
constexpr long FD_CONNECT = 0x10;
constexpr long FD_CLOSE = 0x20;
constexpr long FD_ALL_EVENTS = FD_READ | FD_WRITE | FD_OOB | FD_ACCEPT | FD_CONNECT | FD_CLOSE;

// A TCP socket whose events arrive as notifications (OnReceive, OnAccept, OnConnect,
// OnClose) on the UI thread, the thread that created it. The socket classes of the
// tunnels derive from it and override the notifications they care about.
//
// Notification rules:
//  - OnReceive is posted when bytes arrive. Another one is posted only after Receive
//    was called: when that call left bytes unread, at once; otherwise when new bytes
//    arrive. A handler that reads one chunk per call therefore sees a burst as a
//    series of calls and nothing stalls.
//  - OnAccept follows the same rule with Accept.
//  - OnClose comes once, after the peer closed and every byte it sent was read.
//  - Notifications are never delivered from inside a call on the same socket, and a
//    socket that is closed or destroyed gets none of those still queued.
//
// Connect and a Receive that finds no bytes block the caller and keep the UI
// thread's event loop running meanwhile (other windows and sockets carry on); both
// give up after a bounded wait. Every connected stream socket has Nagle's algorithm
// off (TCP_NODELAY), so small request/response exchanges never wait.
//
// Send may be called from any thread. On the UI thread the bytes go into the
// socket's queue at once, and the queue is written when the UI thread returns to its
// event loop (Close writes what is left); from another thread they are handed to the
// UI thread without blocking the caller, in the order in which that thread sent them,
// and ahead of any later Send.
//
// Flow control: Send never refuses bytes for lack of room; the caller keeps the queue
// bounded. Once Send has left more than kWriteHighWater bytes unwritten, the socket
// counts as backlogged (IsWriteBacklogged) until the unwritten bytes have fallen to
// kWriteLowWater (or the connection is lost); then OnSend(0) is posted, as after a
// connect. PauseReceive stops OnReceive notifications until ResumeReceive; while
// paused, at most kReadBufferSize bytes are read from the system, so the peer's
// sends stop at the kernel's window.
class CSocket
{
public:
    CSocket();
    virtual ~CSocket();

    CSocket(const CSocket&) = delete;
    CSocket& operator=(const CSocket&) = delete;

    // A stream socket for an outgoing connection, with every notification selected.
    bool Create();

    // The steps of a listening socket, one by one: the native socket, address reuse,
    // the local address and the listen queue. Each returns false with GetLastError set.
    bool Socket(long events = FD_ALL_EVENTS);
    bool SetReuseAddress(bool on);
    bool Bind(uint16_t port, const QString& address);
    bool Listen(int backlog);

    // Takes the next pending connection of this listening socket into `connection`,
    // which must not be open. False when nothing is pending.
    bool Accept(CSocket& connection);

    // Chooses the notifications this socket receives.
    bool AsyncSelect(long events);

    // Connects to host:port, waiting at most BlockingWaitMs for the outcome.
    bool Connect(const QString& host, uint16_t port);

    // Queues `length` bytes for sending; returns `length`, or SOCKET_ERROR when the
    // socket is not connected or the arguments are unusable. `flags` is ignored.
    int Send(const void* data, int length, int flags = 0);

    // Reads at most `length` bytes. Returns the count read, 0 when the peer closed
    // and nothing is left, SOCKET_ERROR on a failure or when no byte came within
    // BlockingWaitMs. `flags` is ignored.
    int Receive(void* buffer, int length, int flags = 0);

    // Closes the socket; bytes already sent are flushed first (bounded wait). Queued
    // notifications are dropped. The object can be created again afterwards.
    void Close();

    // errno-style code of the last failure, 0 when none.
    int GetLastError() const { return lastError_; }

    // The native descriptor, -1 when none.
    intptr_t NativeHandle() const;

    bool IsListening() const;
    bool IsConnected() const;
    // True when the socket was never opened, was closed, or its peer closed and
    // every byte it sent has been read: nothing more can happen on it.
    bool HasEnded() const;
    // Local and peer port (0 when unknown).
    uint16_t LocalPort() const;
    uint16_t PeerPort() const;

    // Flow control (see above). UnwrittenBytes may be called from any thread: the
    // bytes queued on the UI thread and those other threads handed over.
    int64_t UnwrittenBytes() const;
    bool IsWriteBacklogged() const { return backlogged_; }
    void PauseReceive();
    // May be called from any thread; off the UI thread it takes effect on the UI
    // thread, after the bytes that thread sent earlier.
    void ResumeReceive();
    bool IsReceivePaused() const { return receivePaused_; }

    // Bytes read ahead from the system at most, per connection.
    static constexpr int64_t kReadBufferSize = 64 * 1024;
    // Unwritten bytes above which a socket is backlogged, and to which they must fall
    // before it is not any more.
    static constexpr int64_t kWriteHighWater = 2 * 1024 * 1024;
    static constexpr int64_t kWriteLowWater = 512 * 1024;

    // Upper bound of the blocking waits of Connect and Receive.
    static constexpr int BlockingWaitMs = 21000;
    // Upper bound of the wait for unsent bytes in Close.
    static constexpr int CloseFlushWaitMs = 5000;

protected:
    // Bytes a Receive returns now without waiting (what Qt has read ahead).
    int64_t BytesReadable() const;
    // Expires when the socket is destroyed: a handler that hands bytes on, and may see
    // its socket deleted by the owner from there, checks it before touching the socket
    // again.
    std::weak_ptr<const void> Lifetime() const { return alive_; }

    // Notifications; the base versions do nothing. `errorCode` is 0 or an errno code.
    virtual void OnReceive(int errorCode);
    virtual void OnSend(int errorCode);
    virtual void OnOutOfBandData(int errorCode);
    virtual void OnAccept(int errorCode);
    virtual void OnConnect(int errorCode);
    virtual void OnClose(int errorCode);

private:
    friend class SocketHandoff;
    // Lifetime token: queued work holds a weak reference and does nothing once the
    // socket is gone.
    struct Alive
    {
    };

    void AttachStream(std::unique_ptr<QTcpSocket> stream, bool accepted);
    void ReleaseQtObjects();
    void PostNotification(long event, int errorCode);
    void Deliver(long event, int errorCode, uint64_t generation);
    void ScheduleRead();
    void ScheduleAccept();
    void AfterRead();
    void HandleDisconnected(int errorCode);
    // Writes the bytes other threads handed over and applies a resume they asked for
    // (UI thread).
    void DrainHandoff();
    // Records the unwritten bytes after a write or after the system took some (UI
    // thread): enters the backlog above the high-water mark, leaves it at the low one.
    void NoteUnwritten();
    // Runs the event loop until `done()` holds or BlockingWaitMs passed. Returns 1
    // when done, 0 on time-out and -1 when this socket was destroyed meanwhile (then
    // the caller must not touch it).
    int WaitFor(bool (CSocket::*done)() const);
    // The conditions Connect and Receive wait for.
    bool ConnectSettled() const;
    bool ReadableOrEnded() const;

    std::unique_ptr<QTcpSocket> stream_;
    std::unique_ptr<QTcpServer> server_;
    int listenFd_ = -1;
    long events_ = FD_ALL_EVENTS;
    int lastError_ = 0;

    // Re-notification state (UI thread only).
    bool readEnabled_ = true;
    bool readPosted_ = false;
    bool acceptEnabled_ = true;
    bool acceptPosted_ = false;
    bool peerClosed_ = false;
    int peerCloseError_ = 0;
    bool closeNotified_ = false;
    int blockingDepth_ = 0;
    bool readDeferred_ = false;
    bool receivePaused_ = false;
    bool backlogged_ = false;
    // stream_->bytesToWrite() as of the last write or bytesWritten (UI thread writes).
    std::atomic<int64_t> queued_{0};
    std::vector<QEventLoop*> waits_;
    std::vector<QMetaObject::Connection> connections_;

    // Raised by Close and Create so that queued notifications of an earlier
    // connection are recognised and dropped.
    uint64_t generation_ = 0;

    std::shared_ptr<Alive> alive_;
    std::shared_ptr<SocketHandoff> handoff_;
};
