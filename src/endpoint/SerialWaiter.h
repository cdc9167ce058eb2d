#pragma once

class SerialPort;

// What a serial reader thread sleeps on between its passes: its port and a wake-up
// signal that any thread may raise. This is the POSIX implementation (poll() on the
// port's descriptor and on an eventfd); another platform provides its own with the
// same calls.
//
// Watch and Wait are for the reader thread alone; Wake may come from any thread at
// any time, also while the reader waits or before it waits (a wake is kept until a
// Wait has seen it).
class SerialWaiter
{
public:
    // What ended a wait.
    struct Ready
    {
        // The watched port reported a hang-up or an error: its peer is gone (a pty
        // whose other side nobody holds), and it would report that again at once.
        bool hangUp = false;
    };

    SerialWaiter();
    ~SerialWaiter();
    SerialWaiter(const SerialWaiter&) = delete;
    SerialWaiter& operator=(const SerialWaiter&) = delete;

    // Ends the current wait, or else the next one, at once. Never blocks.
    void Wake();
    // Chooses what the next Wait watches on `port`: arriving bytes (`read`), room
    // for a write (`write`). A port that is not open, or is asked for neither, is
    // not watched at all. Called while the port cannot change (the reader holds its
    // pass lock); the port may be closed by another thread after this returns, which
    // then wakes the waiter.
    void Watch(const SerialPort& port, bool read, bool write);
    // Sleeps until what Watch chose is ready, a wake comes, or `timeoutMs` passed
    // (at most 1 ms when no wake-up signal could be made). Takes the wake that ended
    // it, so the next Wait sleeps again; forgets what Watch chose.
    Ready Wait(int timeoutMs);

private:
    int wakeFd_ = -1;
    int portFd_ = -1;
    short events_ = 0;
};
