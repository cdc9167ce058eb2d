#pragma once

#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

class TcpConnection;

// A listening TCP socket whose every accepted connection is handled on a thread of
// its own. Stop closes the listener, shuts every open connection down and waits for
// the handlers to return; Listen and Start may then run again.
class TcpServer
{
public:
    using Handler = std::function<void(const std::shared_ptr<TcpConnection>&)>;

    TcpServer() = default;
    ~TcpServer();
    TcpServer(const TcpServer&) = delete;
    TcpServer& operator=(const TcpServer&) = delete;

    // Binds host:port (IPv4 address or name). False with a reason.
    bool Listen(const std::string& host, int port, std::string* error);
    // Starts accepting; `handler` runs once per connection, on its own thread.
    void Start(Handler handler);
    void Stop();

    int Port() const { return port_; }

private:
    struct Worker
    {
        std::thread thread;
        bool done = false;
    };

    void AcceptLoop();
    void ReapFinished();

    int listenFd_ = -1;
    int port_ = 0;
    Handler handler_;
    std::thread acceptThread_;
    std::mutex mutex_;
    bool stopping_ = false;
    std::list<Worker> workers_;
    std::set<std::shared_ptr<TcpConnection>> open_;
};
