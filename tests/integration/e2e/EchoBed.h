#pragma once

#include "support/FarsideBed.h"

#include <cstdint>
#include <string>

// The far side with one gateway "GW-ECHO" and one Ethernet device "ECHO-NET" whose
// simulation echoes every byte, for the port-forward transfer tests. The device's
// protocol chooses the local listener's port (10: 5562, 13: 9600).
class EchoBed : public FarsideBed
{
public:
    explicit EchoBed(int listenerPort);
    ~EchoBed() override;

    int ListenerPort() const { return port_; }
    // Starts the broker and the far side (no VPN server). False with Error().
    bool Start();
    // Runs `lumetra-cli open GW-ECHO ECHO-NET`; false when it did not print its
    // listener on 127.0.0.1.
    bool Open();

private:
    const int port_;
};

// One application connection to a tunnel's local listener that writes a stream of
// random bytes (in writes of random sizes up to 64 KiB) and checks every byte of the
// echo against it. Byte n of the stream is a function of n and the stream's start, so
// a reader can check any stretch of it (the trace log's, say) without a replay.
class EchoStream
{
public:
    // Connects to 127.0.0.1:`port` (non-blocking). Failed() tells a failed connect.
    EchoStream(int port, uint64_t start);
    ~EchoStream();
    EchoStream(const EchoStream&) = delete;
    EchoStream& operator=(const EchoStream&) = delete;

    uint8_t Byte(int64_t offset) const;

    // Writes up to byte `writeUpTo` of the stream while reading the echo, until the
    // echo is complete. Empty when it all came back in order; else what went wrong.
    std::string Exchange(int64_t writeUpTo);
    // Writes without reading until the tunnel stops taking bytes (no write progress
    // for `heldMs`) or `limit` bytes went out. Empty, or what went wrong.
    std::string PushUnread(int64_t limit, int heldMs);

    bool Failed() const { return fd_ < 0; }
    int64_t Written() const { return written_; }
    int64_t Read() const { return read_; }

private:
    // Moves bytes until `writeUpTo` is written and, when reading, everything written
    // came back. Without reading, a poll that sees no progress for `waitMs` ends it.
    std::string Move(int64_t writeUpTo, bool reading, int waitMs);

    const uint64_t start_;
    int fd_ = -1;
    int64_t written_ = 0;
    int64_t read_ = 0;
    uint64_t sizes_;
};
