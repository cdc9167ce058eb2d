#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct cJSON;

// The simulated port-forward devices (tunType 1): one TCP server per device at the
// device's inventory "ip":"port", which the relay server connects to. The device's
// optional member "simulation" chooses what answers:
//   {"kind": "modbus-tcp" | "echo", "slaveId", "holdingRegisters", "inputRegisters",
//    "coils", "discreteInputs"}
// with the members and defaults of MakeSerialDevice (DeviceSimulator.h); "modbus-tcp"
// is the default kind. A Modbus TCP slave answers any unit id. Every server accepts
// any number of connections at once. Only loopback addresses (127.0.0.0/8) are
// served; "port" 0 takes a free port, which Endpoints() reports.
class TcpDeviceServers
{
public:
    struct Endpoint
    {
        std::string deviceSn;
        std::string ip;
        int port = 0;     // the port actually listened on
        std::string kind; // "modbus-tcp" or "echo"
    };

    TcpDeviceServers();
    ~TcpDeviceServers(); // stops every server
    TcpDeviceServers(const TcpDeviceServers&) = delete;
    TcpDeviceServers& operator=(const TcpDeviceServers&) = delete;

    // Starts a server for every device with "tunType" 1 in an inventory document
    // ({"accounts":[{"gateways":[{"devices":[...]}]}]}). A device whose ip:port is
    // already served shares that server. On failure returns false with a reason
    // naming the device, and the servers started so far keep running.
    bool Start(const cJSON* inventoryRoot, std::string* error);
    // Starts the server of one device entry, whatever its tunType.
    bool AddDevice(const cJSON* deviceJson, std::string* error);
    // Stops every server and closes every connection.
    void Stop();

    std::vector<Endpoint> Endpoints() const;

private:
    class Server;
    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<Server>> servers_;
    std::vector<Endpoint> endpoints_;
};
