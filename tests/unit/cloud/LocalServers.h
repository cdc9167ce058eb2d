#pragma once

#include <httplib.h>

#include <arpa/inet.h>
#include <chrono>
#include <mutex>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

inline std::string LoopbackUrl(int port, const std::string& path)
{
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

// A real HTTP server on a free loopback port and its own thread. Every POST is recorded
// as "method path content-type body" and answered with the reply set last.
class LocalHttpServer
{
public:
    LocalHttpServer()
    {
        server_.Post(".*", [this](const httplib::Request& in, httplib::Response& out) {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(in.method + " " + in.path + " " + in.get_header_value("Content-Type") + " " +
                                in.body);
            out.status = status_;
            out.set_content(body_, type_.c_str());
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        for (int i = 0; i < 5000 && !server_.is_running(); ++i) // stop() only acts once this is true
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~LocalHttpServer()
    {
        server_.stop();
        thread_.join();
    }
    int Port() const { return server_.is_running() ? port_ : -1; }
    void SetReply(int status, const std::string& body, const std::string& type = "application/json")
    {
        std::lock_guard<std::mutex> lock(mutex_);
        status_ = status, body_ = body, type_ = type;
    }
    std::vector<std::string> Requests() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

private:
    httplib::Server server_;
    std::thread thread_;
    int port_ = -1, status_ = 200;
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::string body_, type_;
};

// A loopback socket listening on a free port that never reads or answers: connections
// complete in the kernel's backlog and then stay silent. Once closed, the port refuses.
class SilentListener
{
public:
    SilentListener()
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::listen(fd_, 8) == 0 && ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port_ = ntohs(address.sin_port);
    }
    ~SilentListener() { Close(); }
    int Port() const { return port_; } // 0 when not listening
    void Close()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int port_ = 0;
};
