#include "endpoint/SocketHandoff.h"

#include "endpoint/CSocket.h"

int SocketHandoff::Append(const void* data, int length)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (!open_) {
        return SOCKET_ERROR;
    }
    if (length == 0) {
        return 0;
    }
    pending_.append(static_cast<const char*>(data), length);
    if (!drainPosted_) {
        if (!platform::PostedWork::Post(shared_from_this())) {
            return SOCKET_ERROR;
        }
        drainPosted_ = true;
    }
    return length;
}

QByteArray SocketHandoff::Take()
{
    QByteArray bytes;
    std::lock_guard<std::mutex> guard(lock_);
    bytes.swap(pending_);
    drainPosted_ = false;
    return bytes;
}

void SocketHandoff::Open()
{
    std::lock_guard<std::mutex> guard(lock_);
    open_ = true;
}

void SocketHandoff::Shut()
{
    std::lock_guard<std::mutex> guard(lock_);
    open_ = false;
    pending_.clear();
}

void SocketHandoff::Detach()
{
    std::lock_guard<std::mutex> guard(lock_);
    owner_ = nullptr;
}

void SocketHandoff::RunPosted()
{
    CSocket* owner = nullptr;
    {
        std::lock_guard<std::mutex> guard(lock_);
        owner = owner_;
    }
    if (owner != nullptr) {
        owner->DrainHandoff();
    }
}
