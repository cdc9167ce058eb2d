#include "LocalHttpServer.h"

#include <chrono>

LocalHttpServer::LocalHttpServer()
{
    server_.Post(".*", [this](const httplib::Request& request, httplib::Response& response) {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(
            {request.method, request.path, request.body, request.get_header_value("Content-Type")});
        response.status = replyStatus_;
        response.set_content(replyBody_, replyContentType_.c_str());
    });
}

LocalHttpServer::~LocalHttpServer()
{
    if (!thread_.joinable())
        return;
    // stop() only acts once the accept loop runs.
    WaitUntilRunning();
    server_.stop();
    thread_.join();
}

bool LocalHttpServer::Start()
{
    port_ = server_.bind_to_any_port("127.0.0.1");
    if (port_ <= 0)
        return false;
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    return WaitUntilRunning();
}

bool LocalHttpServer::WaitUntilRunning()
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!server_.is_running()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::string LocalHttpServer::Url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void LocalHttpServer::SetReply(int status, const std::string& body, const std::string& contentType)
{
    std::lock_guard<std::mutex> lock(mutex_);
    replyStatus_ = status;
    replyBody_ = body;
    replyContentType_ = contentType;
}

std::vector<LocalHttpServer::Request> LocalHttpServer::Requests() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}
