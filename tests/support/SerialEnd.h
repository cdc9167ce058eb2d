#pragma once

#include <string>
#include <vector>

// A program's side of one end of a virtual COM pair, opened through its link
// without blocking; every wait is bounded by a time-out.
class SerialEnd
{
public:
    SerialEnd() = default;
    ~SerialEnd() { Close(); }
    SerialEnd(const SerialEnd&) = delete;
    SerialEnd& operator=(const SerialEnd&) = delete;

    // Opens in raw mode; OpenAsIs leaves the line settings alone, as cat does.
    bool Open(const std::string& path);
    bool OpenAsIs(const std::string& path);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

    bool Write(const std::string& data, int timeoutMs);
    // Reads until `count` bytes have arrived or the time-out passes; returns what came.
    std::string Read(size_t count, int timeoutMs);
    // True when nothing arrives within `timeoutMs`.
    bool Silent(int timeoutMs);
    // Writes `toB` into `a` and `toA` into `b` while reading both, so neither side
    // has to buffer a whole burst. False when the time-out passes first.
    static bool Exchange(SerialEnd& a, SerialEnd& b, const std::string& toB, const std::string& toA,
                         std::string* gotA, std::string* gotB, int timeoutMs);

private:
    struct Job
    {
        SerialEnd* end;
        const std::string* out;
        std::string* in;
        size_t want;
        size_t sent = 0;
    };
    static bool Pump(std::vector<Job> jobs, int timeoutMs);

    int fd_ = -1;
};

// Whether this process holds a descriptor of the device that `link` points to.
bool HoldsDevice(const std::string& link);
