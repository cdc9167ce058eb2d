#pragma once

// A loopback TCP socket that listens on a free port and never reads or answers:
// connections complete in the kernel's backlog and then stay silent. Close() frees
// the port again, so it also yields a port on which connections are refused.
class SilentListener
{
public:
    SilentListener();
    ~SilentListener();
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;

    bool IsListening() const { return fd_ >= 0; }
    int Port() const { return port_; }
    void Close();

private:
    int fd_ = -1;
    int port_ = 0;
};
