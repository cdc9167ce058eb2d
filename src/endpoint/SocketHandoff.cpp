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
    return PostDrain() ? length : SOCKET_ERROR;
}

bool SocketHandoff::PostDrain()
{
    if (!drainPosted_) {
        if (!platform::PostedWork::Post(shared_from_this())) {
            return false;
        }
        drainPosted_ = true;
    }
    return true;
}

int64_t SocketHandoff::PendingSize() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return pending_.size();
}

bool SocketHandoff::RequestResume()
{
    std::lock_guard<std::mutex> guard(lock_);
    resume_ = true;
    return PostDrain();
}

bool SocketHandoff::TakeResume()
{
    std::lock_guard<std::mutex> guard(lock_);
    const bool resume = resume_;
    resume_ = false;
    return resume;
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
