#pragma once

#include "Inventory.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

// The cloud web service over an inventory: POST /CommonService/Login,
// /CommonService/QueryGateway and /CommonService/QueryDeviceByGw with JSON bodies,
// JSON replies. HTTPS (self-signed certificate made at start) on the ports the
// client reaches with "https://" (443, 8443, 10443), plain HTTP on any other port.
class WebService
{
public:
    explicit WebService(const Inventory& inventory);
    ~WebService();
    WebService(const WebService&) = delete;
    WebService& operator=(const WebService&) = delete;

    static bool IsHttpsPort(int port);

    // Creates the server and binds it to host:port (connections are accepted into
    // the listen queue from then on). Returns false with a reason when the
    // certificate cannot be made or the address cannot be bound.
    bool Listen(const std::string& host, int port, std::string* error);
    // "http://host:port" or "https://host:port".
    std::string Url() const;
    // Starts answering requests on a thread of its own and returns once the server
    // runs (so a Stop right after it is not lost). `onFailure` is called on that
    // thread when serving ends without a Stop. Returns false when the server did not
    // come up.
    bool Start(std::function<void()> onFailure, std::string* error);
    // Stops serving and joins the thread; callable once Start returned.
    void Stop();

    // The actions: a request body in, the reply JSON text out. Each logs one line.
    std::string Login(const std::string& body) const;
    std::string QueryGateway(const std::string& body) const;
    std::string QueryDeviceByGw(const std::string& body) const;

private:
    void AddRoutes();

    const Inventory& inventory_;
    std::unique_ptr<httplib::Server> server_;
    std::string host_;
    int port_ = 0;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> ended_{false};
};
