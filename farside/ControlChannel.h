#pragma once

#include "TcpServer.h"

#include <functional>
#include <memory>
#include <string>

class TcpConnection;

// A line-based control port on the loopback interface: each line received (up to
// kMaxLine bytes, ended by "\n"; a "\r" before it is ignored) goes to `execute`, and
// its answer goes back as one line. Connections are served one thread each; a longer
// line is answered "error: line too long" and the connection closed.
class ControlChannel
{
public:
    static constexpr size_t kMaxLine = 1024;
    using Execute = std::function<std::string(const std::string& line)>;

    explicit ControlChannel(Execute execute) : execute_(std::move(execute)) {}

    // Listens on 127.0.0.1:port (0: any free port). False with a reason.
    bool Listen(int port, std::string* error) { return server_.Listen("127.0.0.1", port, error); }
    void Start();
    void Stop() { server_.Stop(); }
    int Port() const { return server_.Port(); }

private:
    void Serve(const std::shared_ptr<TcpConnection>& connection);

    Execute execute_;
    TcpServer server_;
};
