#pragma once

#include "Inventory.h"
#include "ParkedRelays.h"
#include "RegistrationReader.h"
#include "RegistrationServer.h"

#include <atomic>
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
//
// When the far side itself ends the PC's connection (the fault switches of FaultBoard,
// Restart), the device connection and the binding are kept in ParkedRelays; a
// registration of the same PC with "reconnect": 1 takes them back without a new 2984
// and the bytes flow on. A registration with "reconnect": 1 while the old connection
// still lives replaces it the same way. Otherwise "reconnect": 1 opens anew.
//
// Bytes are carried in blocks of kBlockSize by blocking sends: a side that does not
// read stops the reading of the other side, so memory stays bounded per connection.
class RelayServer
{
public:
    static constexpr int kConnectTimeoutMs = 5000;
    static constexpr size_t kBlockSize = 65536;
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
    // Ends every connection and closes the listener; the device connections of the
    // tunnels are parked for the PCs to re-attach.
    void StopForRestart();

private:
    // What ended the carrying of a tunnel's bytes.
    struct Outcome
    {
        bool deviceClosed = false;
        bool dropped = false; // a fault switch ended the PC's connection
        std::string pending;  // device bytes read that did not reach the PC
    };

    Outcome Carry(const std::shared_ptr<TcpConnection>& connection,
                  const std::shared_ptr<TcpConnection>& target,
                  const RegistrationReader::Registration& registration, bool viaMqtt, const std::string& rest,
                  std::string pending);
    void Relay(const std::shared_ptr<TcpConnection>& connection,
               const RegistrationReader::Registration& registration, const std::string& rest,
               const std::string& who);

    ServiceContext& context_;
    DeviceAddress address_;
    std::atomic<bool> restarting_{false};
    ParkedRelays parked_;
    RegistrationServer server_; // last: stopping it ends the connections before the rest goes
};
