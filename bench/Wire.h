#pragma once

#include <cstddef>
#include <string>

class Latencies;

// The user's side of a benchmark: opening a COM port or a loopback connection as an
// application would, and timing exchanges on it. Every descriptor is non-blocking and
// every wait is bounded; failures return false / -1 with a reason in `error`.
namespace Wire {

// Opens a terminal (a virtual COM port) raw at 9600 8N1 with CLOCAL and CREAD, VMIN
// and VTIME 0: the settings the client's serial endpoint uses.
int OpenRawTty(const std::string& path, std::string* error);
// Connects to 127.0.0.1:port with Nagle's algorithm off.
int ConnectLoopback(int port, std::string* error);
// Sets TCP_NODELAY and O_NONBLOCK on a connected socket.
void TuneSocket(int fd);

bool WriteAll(int fd, const char* data, size_t length, int timeoutMs, std::string* error);
bool ReadExactly(int fd, char* data, size_t length, int timeoutMs, std::string* error);

// `count` exchanges of `size` bytes: writes a request, reads the echoed answer,
// checks it byte for byte and adds the round trip to `times`. `round` varies the
// bytes from one call to the next, so a late answer of an earlier call is noticed.
bool RoundTrips(int fd, int count, size_t size, int round, Latencies* times, std::string* error);

// Sends `bytes` bytes (a counting pattern, 64 KiB writes) on one thread while this
// one reads and checks the echo; returns MiB/s from the first write to the last byte
// back, or a negative value on failure.
double EchoThroughput(int fd, size_t bytes, std::string* error);

} // namespace Wire
