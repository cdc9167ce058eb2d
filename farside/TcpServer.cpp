#include "TcpServer.h"

#include "TcpConnection.h"

#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

TcpServer::~TcpServer()
{
    Stop();
}

bool TcpServer::Listen(const std::string& host, int port, std::string* error)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    const int resolved = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (resolved != 0 || !found) {
        *error = "cannot resolve " + host + ": " + gai_strerror(resolved);
        return false;
    }
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    if (listenFd_ >= 0)
        setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    const bool ok = listenFd_ >= 0 && bind(listenFd_, found->ai_addr, found->ai_addrlen) == 0 &&
                    listen(listenFd_, 64) == 0;
    freeaddrinfo(found);
    if (!ok) {
        *error = "cannot listen on " + host + ":" + std::to_string(port) + ": " + std::strerror(errno);
        if (listenFd_ >= 0)
            close(listenFd_);
        listenFd_ = -1;
        return false;
    }
    sockaddr_in bound{};
    socklen_t length = sizeof(bound);
    getsockname(listenFd_, reinterpret_cast<sockaddr*>(&bound), &length);
    port_ = ntohs(bound.sin_port);
    return true;
}

void TcpServer::Start(Handler handler)
{
    handler_ = std::move(handler);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = false; // a server may listen again after Stop
    }
    acceptThread_ = std::thread([this] { AcceptLoop(); });
}

void TcpServer::AcceptLoop()
{
    for (;;) {
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED || errno == EMFILE || errno == ENFILE)
                continue;
            return; // the listener was shut down
        }
        auto connection = std::make_shared<TcpConnection>(fd);
        std::lock_guard<std::mutex> lock(mutex_);
        ReapFinished();
        if (stopping_) {
            connection->Close();
            return;
        }
        open_.insert(connection);
        workers_.emplace_back();
        Worker* worker = &workers_.back();
        worker->thread = std::thread([this, connection, worker] {
            handler_(connection);
            connection->Close();
            std::lock_guard<std::mutex> done(mutex_);
            open_.erase(connection);
            worker->done = true;
        });
    }
}

void TcpServer::ReapFinished()
{
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (it->done) {
            it->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

void TcpServer::Stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        for (const auto& connection : open_)
            connection->Shutdown();
    }
    if (listenFd_ >= 0)
        shutdown(listenFd_, SHUT_RDWR);
    if (acceptThread_.joinable())
        acceptThread_.join();
    if (listenFd_ >= 0) {
        close(listenFd_);
        listenFd_ = -1;
    }
    std::list<Worker> workers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& connection : open_)
            connection->Shutdown();
        workers.splice(workers.end(), workers_);
    }
    for (Worker& worker : workers)
        worker.thread.join();
}
