#pragma once

#include <string>

// A program's side of one end of a virtual COM pair, opened through its link in
// raw mode without blocking; every wait is bounded by a time-out.
class SerialEnd
{
public:
    SerialEnd() = default;
    ~SerialEnd();
    SerialEnd(const SerialEnd&) = delete;
    SerialEnd& operator=(const SerialEnd&) = delete;

    bool Open(const std::string& path);
    // Opens without touching the line settings, as a program like cat does.
    bool OpenAsIs(const std::string& path);
    int Fd() const { return m_fd; }
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

    bool Write(const std::string& data, int timeoutMs);
    // Reads until `count` bytes have arrived or the time-out passes; returns what came.
    std::string Read(size_t count, int timeoutMs);
    // True when nothing arrives within `timeoutMs`.
    bool Silent(int timeoutMs);

    // Writes `toB` into `a` and `toA` into `b` at the same time while reading both,
    // so neither side's buffers have to hold a whole burst. Returns false when the
    // time-out passes first; what arrived is in `gotA` / `gotB` either way.
    static bool Exchange(SerialEnd& a, SerialEnd& b, const std::string& toB, const std::string& toA,
                         std::string* gotA, std::string* gotB, int timeoutMs);

private:
    int m_fd = -1;
};
