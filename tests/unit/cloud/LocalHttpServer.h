#pragma once

#include <httplib.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A real HTTP server on 127.0.0.1 and a free port, run on its own thread. Every
// POST, whatever its path, is recorded and answered with the reply set for it.
class LocalHttpServer
{
public:
    struct Request
    {
        std::string method;
        std::string path;
        std::string body;
        std::string contentType;
    };

    LocalHttpServer();
    ~LocalHttpServer();
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    // Binds and starts serving; false when the server did not come up within 5 s.
    bool Start();
    int Port() const { return port_; }
    std::string Url(const std::string& path) const;

    void SetReply(int status, const std::string& body, const std::string& contentType = "application/json");
    std::vector<Request> Requests() const;

private:
    bool WaitUntilRunning();

    httplib::Server server_;
    std::thread thread_;
    int port_ = -1;
    mutable std::mutex mutex_;
    std::vector<Request> requests_;
    int replyStatus_ = 200;
    std::string replyBody_;
    std::string replyContentType_ = "application/json";
};
