#pragma once

#include <memory>
#include <mutex>
#include <string>

class RelayDataOwner;
class RelaySocket;

// The serial tunnel's connection to the port-transfer server. The UI thread
// connects, registers and drops it; the serial reader thread hands the COM port's
// bytes to it and asks whether to read more. Both sides meet under one lock, which
// Drop also takes before the connection goes, so a reader never sends on a deleted
// socket.
class SerialRelayLink
{
public:
    // How an attempt to connect and register ended.
    enum class Outcome
    {
        kRegistered, // the registration went out; serial bytes flow from now on
        kFailed,     // no connection (or no registration text)
        kDropped,    // Drop ran while the connect waited: the tunnel stopped
    };

    // The relay's bytes and its end go to `owner` (not owned).
    explicit SerialRelayLink(RelayDataOwner* owner);
    ~SerialRelayLink();
    SerialRelayLink(const SerialRelayLink&) = delete;
    SerialRelayLink& operator=(const SerialRelayLink&) = delete;

    // UI thread. Connects to host:port (a live connection starts over) and sends the
    // unframed `registration`. Runs the event loop while it connects.
    Outcome Connect(const std::string& host, int port, const std::string& registration);
    // UI thread. Closes and frees the connection, outside the lock.
    void Drop();
    // UI thread. The far side ended the connection: serial bytes are dropped until the
    // next registration.
    void Ended();
    // UI thread. True while a connection exists that the far side has ended.
    bool HasEnded() const;
    // UI thread. The connection (null when there is none).
    RelaySocket* Socket() const { return relay_.get(); }

    // Serial reader thread: the bytes go out unchanged while registered, else they
    // are dropped (false).
    bool SendFromSerial(const char* data, int count);
    // Serial reader thread: false while the connection holds more than
    // CSocket::kWriteHighWater unwritten bytes, until they fell to kWriteLowWater.
    bool SerialReadWanted();
    // Serial reader thread: the COM port took its writes, the relay is read again.
    void ResumeReceive();

private:
    RelayDataOwner* owner_;
    mutable std::mutex lock_;
    std::unique_ptr<RelaySocket> relay_;
    // Set once the registration went out: serial bytes flow only after it.
    bool ready_ = false;
    // The COM port is not read while the connection is backlogged.
    bool serialHeld_ = false;
};
