#pragma once

#include "Inventory.h"
#include "RegistrationReader.h"
#include "RegistrationServer.h"

#include <functional>
#include <memory>
#include <string>

class ServiceContext;
class TcpConnection;

// The relay server of the port-forward tunnels. A connection starts with the
// registration {"st":1,"pc_id","gw_sn","dev_sn","reconnect"} (unframed); the relay
// binds the device to the PC, connects to the device's address and answers 2984 with
// "is_occupy" false, then carries the raw bytes both ways: the device's bytes come back
// over this connection, or as cmdId 2988 (Base64) when the device's "returnPath" is
// "mqtt". A device held by another PC (or with the fault "occupied") is answered with
// "is_occupy" true and the connection closed; "relay-unreachable" closes it at once and
// "no-answer" keeps it open without a word. Closing the connection frees the device.
class RelayServer
{
public:
    static constexpr int kConnectTimeoutMs = 5000;
    // Where a device listens: host and port; false with a reason when it is unknown.
    using DeviceAddress = std::function<bool(const std::string& gwSn, const Inventory::Device& device,
                                             std::string* host, int* port, std::string* error)>;

    RelayServer(ServiceContext& context, DeviceAddress address);

    bool Listen(const std::string& host, int port, std::string* error)
    {
        return server_.Listen(host, port, error);
    }
    void Start() { server_.Start(); }
    void Stop() { server_.Stop(); }
    int Port() const { return server_.Port(); }

private:
    void Relay(const std::shared_ptr<TcpConnection>& connection,
               const RegistrationReader::Registration& registration, const std::string& rest,
               const std::string& who);

    ServiceContext& context_;
    DeviceAddress address_;
    RegistrationServer server_; // last: stopping it ends the connections before the rest goes
};
