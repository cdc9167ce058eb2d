#pragma once

#include <memory>
#include <mutex>
#include <string>

// One accepted or outgoing TCP connection, shared between the thread that reads it
// and the threads that write to it or end it. Sends are serialised; Shutdown wakes a
// blocked reader from any thread and is harmless after Close (the descriptor is
// never touched once closed, so a reused number is safe). Close belongs to the one
// thread that reads the connection, once it stopped reading.
class TcpConnection
{
public:
    explicit TcpConnection(int fd);
    ~TcpConnection();
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    // Connects to host:port (IPv4 or a name) within `timeoutMs`; null with a reason.
    static std::shared_ptr<TcpConnection> Connect(const std::string& host, int port, int timeoutMs,
                                                  std::string* error);

    // Reads what has arrived (at most `max` bytes), waiting for at least one byte.
    // An empty result means the peer closed, the connection was shut down, or
    // `timeoutMs` (when not negative) passed with nothing to read (TimedOut() says).
    std::string Receive(size_t max, int timeoutMs = -1);
    bool TimedOut() const { return timedOut_; }
    // Sends every byte; false once the connection is broken or shut down.
    bool Send(const std::string& bytes);
    void Shutdown();
    void Close();
    // "host:port" of the peer.
    std::string Peer() const { return peer_; }

private:
    std::mutex mutex_;     // guards fd_ against Close
    std::mutex sendMutex_; // keeps concurrent sends whole
    int fd_;
    bool timedOut_ = false;
    std::string peer_;
};
