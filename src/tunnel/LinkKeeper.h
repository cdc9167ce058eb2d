#pragma once

#include <QElapsedTimer>

#include <cstdint>
#include <functional>
#include <memory>

class QTimer;

// Keeps an open tunnel's data connection (relay or port-transfer) alive: when it
// ends without a close request the keeper reports the link lost, tries to connect
// again after 0.5 s, 1 s, 2 s, 4 s and then every 8 s, and gives up once the loss is
// older than the give-up time (2 minutes unless set). A connection counts as back
// once it stayed open for kSettleMs or carried bytes from the far side; one that
// ends before is one more failed attempt (a refused registration closes at once).
// UI thread only; the hooks run from the keeper's timers, never inside the caller.
class LinkKeeper
{
public:
    struct Hooks
    {
        // One attempt: connect and register again. True when the registration went
        // out (the connection may still be refused and end).
        std::function<bool()> attempt;
        // The link was lost (false) or is back (true).
        std::function<void(bool up)> report;
        // The give-up time passed without a connection that held.
        std::function<void()> giveUp;
    };

    static constexpr int kFirstDelayMs = 500;
    static constexpr int kLongestDelayMs = 8000;
    static constexpr int kDefaultGiveUpMs = 120000;
    static constexpr int kSettleMs = 1000;
    static constexpr int kTimerSlackMs = 20;

    explicit LinkKeeper(Hooks hooks);
    ~LinkKeeper();
    LinkKeeper(const LinkKeeper&) = delete;
    LinkKeeper& operator=(const LinkKeeper&) = delete;

    // Starts watching (the tunnel's open was accepted) with the given give-up time.
    void Arm(int giveUpMs);
    // Stops watching and forgets any loss (stop, close request); nothing is reported.
    void Disarm();
    bool Armed() const { return armed_; }
    // The data connection ended without a close request.
    void ConnectionEnded();
    // Bytes came from the far side on the current connection.
    void BytesArrived();
    // Tries at once instead of waiting for the next attempt (the far side may take
    // the connection again now).
    void TryNow();
    // True from the loss until the link is back.
    bool Lost() const { return lost_; }

private:
    void Schedule(int delayMs);
    void Attempt();
    void Back();

    Hooks hooks_;
    std::unique_ptr<QTimer> retry_;
    std::unique_ptr<QTimer> settle_;
    QElapsedTimer since_;
    bool armed_ = false;
    bool lost_ = false;
    bool settling_ = false;
    int giveUpMs_ = kDefaultGiveUpMs;
    int delayMs_ = kFirstDelayMs;
    // Raised by Arm and Disarm: an attempt that ran the event loop meanwhile (a
    // blocking connect) finds it changed and leaves the state alone.
    uint64_t generation_ = 0;
};
