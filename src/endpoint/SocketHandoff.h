#pragma once

#include "platform/PostedWork.h"

#include <QByteArray>

#include <cstdint>
#include <memory>
#include <mutex>

class CSocket;

// The bytes that threads other than the UI thread send on one socket, waiting for
// the UI thread to write them (CSocket::Send). The socket holds it shared; a drain
// queued on the UI thread holds it too, so the socket may go meanwhile: the drain
// then finds no owner and does nothing.
class SocketHandoff : public platform::PostedWork, public std::enable_shared_from_this<SocketHandoff>
{
public:
    explicit SocketHandoff(CSocket* owner) : owner_(owner) {}

    // Any thread: appends `length` bytes and queues one drain on the UI thread unless
    // one is queued already. Returns `length`, 0 for no bytes, or -1 when the socket
    // is not connected or no drain can be queued.
    int Append(const void* data, int length);
    // UI thread: takes the bytes handed over so far; the next Append queues a drain.
    QByteArray Take();
    // Bytes handed over and not yet taken (any thread).
    int64_t PendingSize() const;
    // Any thread: asks the UI thread to resume the socket's receive notifications,
    // after the bytes appended so far. False when no drain can be queued.
    bool RequestResume();
    // UI thread: whether a resume was asked for since the last call.
    bool TakeResume();
    // Cross-thread sends are accepted from now on (the socket is connected).
    void Open();
    // Cross-thread sends are refused from now on and the bytes not yet taken dropped.
    void Shut();
    // The socket is going: a queued drain does nothing.
    void Detach();

    // The queued drain (UI thread): the owner writes what was handed over.
    void RunPosted() override;

private:
    // Queues the drain unless one is queued already; called with lock_ held.
    bool PostDrain();

    mutable std::mutex lock_;
    QByteArray pending_;
    bool resume_ = false;      // a resume of receive notifications was asked for
    CSocket* owner_ = nullptr; // cleared by Detach (UI thread)
    bool open_ = false;        // connected: cross-thread sends are accepted
    bool drainPosted_ = false; // a drain is queued on the UI thread
};
