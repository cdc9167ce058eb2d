#include "TcpDeviceServers.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include <cjson/cJSON.h>

#include "ModbusTcpSlave.h"

// One listening socket and its connections, served by one thread with poll().
class TcpDeviceServers::Server
{
public:
    Server(std::unique_ptr<ModbusTcpSlave> modbus, int echoListening)
        : modbus_(std::move(modbus)), echoListening_(echoListening)
    {
    }

    ~Server()
    {
        if (thread_.joinable()) {
            const char byte = 0;
            (void)!write(wake_[1], &byte, 1);
            thread_.join();
        }
        for (int fd : connections_)
            close(fd);
        if (echoListening_ >= 0)
            close(echoListening_);
        for (int fd : wake_)
            if (fd >= 0)
                close(fd);
    }

    bool Run(std::string* error)
    {
        if (pipe2(wake_, O_CLOEXEC) != 0) {
            *error = std::string("cannot make a pipe: ") + std::strerror(errno);
            return false;
        }
        thread_ = std::thread(&Server::Loop, this);
        return true;
    }

    int Listening() const { return modbus_ ? modbus_->ListeningSocket() : echoListening_; }

private:
    static constexpr size_t kEchoBlock = 64 * 1024;

    void Loop()
    {
        std::vector<pollfd> fds;
        for (;;) {
            fds.assign({{wake_[0], POLLIN, 0}, {Listening(), POLLIN, 0}});
            // An echo connection with bytes still to send back is not read meanwhile.
            for (int fd : connections_)
                fds.push_back({fd, static_cast<short>(unsent_.count(fd) != 0 ? POLLOUT : POLLIN), 0});
            if (poll(fds.data(), fds.size(), -1) < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            if (fds[0].revents)
                return;
            for (size_t i = 2; i < fds.size(); ++i)
                if (fds[i].revents && !Serve(fds[i].fd))
                    Drop(fds[i].fd);
            if (fds[1].revents & POLLIN)
                Accept();
        }
    }

    void Accept()
    {
        const int fd = accept4(Listening(), nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            return;
        // A peer that stops reading must not hold the whole server: Modbus answers give
        // up after 2 s, echoes never wait (Serve).
        timeval timeout = {2, 0};
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
        connections_.push_back(fd);
    }

    bool Serve(int fd)
    {
        if (modbus_)
            return modbus_->Answer(fd);
        std::string& unsent = unsent_[fd];
        if (unsent.empty()) {
            // As large as the relay's blocks, so a bulk echo is not held to many
            // small reads and sends.
            unsent.resize(kEchoBlock);
            const ssize_t n = recv(fd, &unsent[0], unsent.size(), 0);
            if (n <= 0) {
                unsent_.erase(fd);
                return n < 0 && errno == EINTR;
            }
            unsent.resize(static_cast<size_t>(n));
        }
        // Echoes go out without waiting: what the peer does not take yet waits here
        // (one read at most), and the peer's sends wait in the system's buffers.
        const ssize_t sent = send(fd, unsent.data(), unsent.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            unsent_.erase(fd);
            return false;
        }
        unsent.erase(0, sent > 0 ? static_cast<size_t>(sent) : 0);
        if (unsent.empty())
            unsent_.erase(fd);
        return true;
    }

    void Drop(int fd)
    {
        close(fd);
        unsent_.erase(fd);
        connections_.erase(std::find(connections_.begin(), connections_.end(), fd));
    }

    std::unique_ptr<ModbusTcpSlave> modbus_;
    int echoListening_ = -1;
    int wake_[2] = {-1, -1};
    std::vector<int> connections_;
    std::map<int, std::string> unsent_; // echo bytes not yet taken by the peer
    std::thread thread_;
};

namespace {

std::string Text(const cJSON* object, const char* name)
{
    const cJSON* item = cJSON_GetObjectItemCaseSensitive(object, name);
    return cJSON_IsString(item) ? item->valuestring : std::string();
}

// A plain TCP listening socket for the echo devices; -1 with a reason on failure.
int ListenTcp(const std::string& ip, int port, std::string* error)
{
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, ip.c_str(), &address.sin_addr);
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    if (fd >= 0)
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, 16) != 0) {
        *error = "cannot listen at " + ip + ":" + std::to_string(port) + ": " + std::strerror(errno);
        if (fd >= 0)
            close(fd);
        return -1;
    }
    return fd;
}

int BoundPort(int fd)
{
    sockaddr_in address = {};
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

} // namespace

TcpDeviceServers::TcpDeviceServers() = default;

TcpDeviceServers::~TcpDeviceServers()
{
    Stop();
}

bool TcpDeviceServers::Start(const cJSON* inventoryRoot, std::string* error)
{
    const cJSON* accounts = cJSON_GetObjectItemCaseSensitive(inventoryRoot, "accounts");
    const cJSON* account = nullptr;
    cJSON_ArrayForEach(account, accounts)
    {
        const cJSON* gateway = nullptr;
        cJSON_ArrayForEach(gateway, cJSON_GetObjectItemCaseSensitive(account, "gateways"))
        {
            const cJSON* device = nullptr;
            cJSON_ArrayForEach(device, cJSON_GetObjectItemCaseSensitive(gateway, "devices"))
            {
                const cJSON* tunType = cJSON_GetObjectItemCaseSensitive(device, "tunType");
                if (cJSON_IsNumber(tunType) && tunType->valueint == 1 && !AddDevice(device, error))
                    return false;
            }
        }
    }
    return true;
}

bool TcpDeviceServers::AddDevice(const cJSON* deviceJson, std::string* error)
{
    Endpoint endpoint;
    endpoint.deviceSn = Text(deviceJson, "deviceSn");
    endpoint.ip = Text(deviceJson, "ip");
    const std::string name =
        "device " + (endpoint.deviceSn.empty() ? "(no deviceSn)" : endpoint.deviceSn) + ": ";

    in_addr address = {};
    if (inet_pton(AF_INET, endpoint.ip.c_str(), &address) != 1 || (ntohl(address.s_addr) >> 24) != 127) {
        *error = name + "ip \"" + endpoint.ip +
                 "\" is not a loopback address; simulated devices listen on 127.0.0.0/8 only";
        return false;
    }
    const cJSON* port = cJSON_GetObjectItemCaseSensitive(deviceJson, "port");
    if (!cJSON_IsNumber(port) || port->valuedouble < 0 || port->valuedouble > 65535 ||
        port->valuedouble != port->valueint) {
        *error = name + "port is not an integer from 0 to 65535";
        return false;
    }
    endpoint.port = port->valueint;

    DeviceSimulation simulation;
    std::string reason;
    if (!DeviceSimulation::Parse(deviceJson, "modbus-tcp", {"modbus-tcp", "echo"}, &simulation, &reason)) {
        *error = name + reason;
        return false;
    }
    endpoint.kind = simulation.kind;

    std::lock_guard<std::mutex> lock(mutex_);
    if (endpoint.port != 0) {
        for (const Endpoint& served : endpoints_) {
            if (served.ip == endpoint.ip && served.port == endpoint.port) {
                endpoint.kind = served.kind;
                endpoints_.push_back(endpoint);
                return true;
            }
        }
    }

    std::unique_ptr<Server> server;
    if (simulation.kind == "echo") {
        const int fd = ListenTcp(endpoint.ip, endpoint.port, &reason);
        if (fd >= 0)
            server = std::make_unique<Server>(nullptr, fd);
    } else if (auto modbus = ModbusTcpSlave::Listen(simulation, endpoint.ip, endpoint.port, &reason)) {
        server = std::make_unique<Server>(std::move(modbus), -1);
    }
    if (!server || !server->Run(&reason)) {
        *error = name + reason;
        return false;
    }
    endpoint.port = BoundPort(server->Listening());
    servers_.push_back(std::move(server));
    endpoints_.push_back(endpoint);
    return true;
}

void TcpDeviceServers::Stop()
{
    std::vector<std::unique_ptr<Server>> servers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        servers.swap(servers_);
        endpoints_.clear();
    }
    servers.clear();
}

std::vector<TcpDeviceServers::Endpoint> TcpDeviceServers::Endpoints() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return endpoints_;
}
