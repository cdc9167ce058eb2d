#pragma once

#include <string>

// The user application's side of a virtual COM pair: one end opened through its link
// in raw mode without blocking. Every wait is bounded by a time-out.
class PeerEnd
{
public:
    PeerEnd() = default;
    ~PeerEnd();
    PeerEnd(const PeerEnd&) = delete;
    PeerEnd& operator=(const PeerEnd&) = delete;

    bool Open(const std::string& path);
    void Close();

    // Writes everything, waiting for room; false when the time-out passes first.
    bool Write(const std::string& data, int timeoutMs);
    // Reads until `count` bytes have arrived or the time-out passes; returns what came.
    std::string Read(size_t count, int timeoutMs);

private:
    int m_fd = -1;
};
