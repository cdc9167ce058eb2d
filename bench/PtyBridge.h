#pragma once

#include <string>
#include <thread>

// The serial baseline: one thread copying bytes between a terminal (the program's
// end of a virtual COM pair) and a TCP connection, both ways, with poll(). It stands
// for the shortest way from a COM port to a device server, with nothing but the
// copying in between.
class PtyBridge
{
public:
    PtyBridge() = default;
    ~PtyBridge();
    PtyBridge(const PtyBridge&) = delete;
    PtyBridge& operator=(const PtyBridge&) = delete;

    // Opens the terminal raw (as the client's serial endpoint does), connects to
    // 127.0.0.1:port and starts copying. False with the reason in `error`.
    bool Start(const std::string& ttyPath, int port, std::string* error);
    void Stop();

private:
    void Loop();

    int tty_ = -1;
    int socket_ = -1;
    int wake_[2] = {-1, -1};
    std::thread thread_;
};
