#pragma once

#include <chrono>
#include <cstddef>
#include <string>

// A null-modem pair made of two pseudo-terminals: whatever a program writes into
// the slave of one comes out of the slave of the other, both ways, in order and
// without loss.
//
// The bridge copies between the two masters. It keeps each slave open itself, so
// a master never sees a hang-up while no program has that end open: programs can
// open, close and reopen their end at will, and the end's line settings (raw mode
// from the start, so nothing is echoed or translated) survive between them. Bytes
// for an end that nobody reads wait in that end's input queue and then in the
// bridge, up to kPendingLimit per direction; beyond that the bridge stops reading
// from the writer's side, so the writer is held back instead of losing data.
//
// A hang-up of a slave (TIOCVHANGUP) cuts the bridge's own descriptor too and
// resets the line to echoing; the bridge notices it on that descriptor, opens a
// fresh one and sets raw mode again before it passes on any more bytes.
class PtyBridge
{
public:
    static constexpr size_t kPendingLimit = 4 * 1024 * 1024;

    PtyBridge() = default;
    ~PtyBridge();
    PtyBridge(const PtyBridge&) = delete;
    PtyBridge& operator=(const PtyBridge&) = delete;

    // Creates both pseudo-terminals and opens and configures their slaves. False
    // with a reason in `error` on failure.
    bool Open(std::string* error);
    // Device path of end 0 (A) or 1 (B), for example "/dev/pts/4".
    const std::string& DevicePath(int end) const { return ends_[end].device; }

    // Copies bytes until `stopFd` becomes readable. False with a reason in `error`
    // when copying cannot go on.
    bool Run(int stopFd, std::string* error);

private:
    struct End
    {
        int master = -1;
        int held = -1; // our own descriptor of the slave
        std::string device;
        std::string toMaster; // bytes waiting to be written into this master
        size_t sent = 0;      // how much of toMaster is already written
        bool down = false;    // hung up; the slave is reopened at retryAt
        std::chrono::steady_clock::time_point retryAt;
    };

    static bool OpenEnd(End* end, std::string* error);
    static bool HoldSlave(End* end);
    static size_t Waiting(const End& end) { return end.toMaster.size() - end.sent; }
    void RenewHeld(End* end);
    void TakeDown(End* end);
    void TryBringUp(End* end);
    // Reads what end `from`'s program wrote and queues it for the other end.
    bool ReadFrom(int from, std::string* error);
    bool WriteTo(End* end, std::string* error);

    End ends_[2];
};
