#include "tunnel/SerialRelayLink.h"

#include "endpoint/RelaySocket.h"

#include <QString>

#include <cstdint>
#include <new>

SerialRelayLink::SerialRelayLink(RelayDataOwner* owner) : owner_(owner) {}

SerialRelayLink::~SerialRelayLink()
{
    Drop();
}

SerialRelayLink::Outcome SerialRelayLink::Connect(const std::string& host, int port,
                                                  const std::string& registration)
{
    RelaySocket* relay = nullptr;
    {
        std::lock_guard<std::mutex> guard(lock_);
        ready_ = false;
        if (relay_ == nullptr) {
            relay_.reset(new (std::nothrow) RelaySocket(owner_));
        }
        relay = relay_.get();
    }
    if (relay == nullptr) {
        return Outcome::kFailed;
    }
    // A registration repeated on a live connection starts over on a new one.
    relay->Close();
    bool connected = false;
    if (!host.empty() && port > 0 && port <= 0xFFFF && !registration.empty() && relay->Create()) {
        connected = relay->Connect(QString::fromStdString(host), static_cast<uint16_t>(port));
    }
    // Connect runs the event loop: Drop may have run meanwhile.
    std::lock_guard<std::mutex> guard(lock_);
    if (relay_.get() != relay) {
        return Outcome::kDropped;
    }
    if (!connected) {
        return Outcome::kFailed;
    }
    relay->Send(registration.data(), static_cast<int>(registration.size()), 0);
    ready_ = true;
    return Outcome::kRegistered;
}

void SerialRelayLink::Drop()
{
    std::unique_ptr<RelaySocket> relay;
    {
        std::lock_guard<std::mutex> guard(lock_);
        ready_ = false;
        relay = std::move(relay_);
    }
    relay.reset(); // closes the connection, outside the lock
}

void SerialRelayLink::Ended()
{
    std::lock_guard<std::mutex> guard(lock_);
    ready_ = false;
}

bool SerialRelayLink::HasEnded() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return relay_ != nullptr && relay_->HasEnded();
}

bool SerialRelayLink::SendFromSerial(const char* data, int count)
{
    if (data == nullptr || count <= 0) {
        return false;
    }
    std::lock_guard<std::mutex> guard(lock_);
    if (relay_ == nullptr || !ready_) {
        return false;
    }
    relay_->Send(data, count, 0);
    return true;
}

bool SerialRelayLink::SerialReadWanted()
{
    std::lock_guard<std::mutex> guard(lock_);
    if (relay_ == nullptr || !ready_) {
        serialHeld_ = false; // bytes read now are dropped
        return true;
    }
    const int64_t mark = serialHeld_ ? CSocket::kWriteLowWater : CSocket::kWriteHighWater;
    serialHeld_ = relay_->UnwrittenBytes() > mark;
    return !serialHeld_;
}

void SerialRelayLink::ResumeReceive()
{
    std::lock_guard<std::mutex> guard(lock_);
    if (relay_ != nullptr) {
        relay_->ResumeReceive();
    }
}
