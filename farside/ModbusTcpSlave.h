#pragma once

#include <memory>
#include <string>

#include "DeviceSimulator.h"

// A Modbus TCP slave made with libmodbus: it listens at an address and answers the
// requests of the connections its owner accepts on that socket, one request at a
// time. It answers any unit id. Not thread-safe: one thread serves it.
class ModbusTcpSlave
{
public:
    // Listens at ip:port (port 0: a free port). Null with a reason on failure.
    static std::unique_ptr<ModbusTcpSlave> Listen(const DeviceSimulation& simulation, const std::string& ip,
                                                  int port, std::string* error);
    ~ModbusTcpSlave();
    ModbusTcpSlave(const ModbusTcpSlave&) = delete;
    ModbusTcpSlave& operator=(const ModbusTcpSlave&) = delete;

    int ListeningSocket() const { return listening_; }
    int Port() const { return port_; }
    // Reads one request from a readable connection and answers it. False when the
    // connection has ended or sent something that is not a request: close it then.
    bool Answer(int connection);

private:
    ModbusTcpSlave() = default;

    modbus_t* context_ = nullptr;
    DeviceSimulation::MappingPtr mapping_;
    int listening_ = -1;
    int port_ = 0;
};
