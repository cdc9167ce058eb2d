#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "DeviceSimulator.h"

// A Modbus RTU slave made with libmodbus on the far end of a pseudo-terminal: the
// slave's context opens the terminal's device path with the device's line settings
// and answers in its own thread; Feed writes into the master side and whatever the
// slave writes comes out of the master side into the output (reader thread).
class ModbusRtuSlave : public DeviceSimulator
{
public:
    struct LineSettings
    {
        int baud = 9600;
        char parity = 'N';
        int dataBits = 8;
        int stopBits = 1;
    };

    static std::unique_ptr<ModbusRtuSlave> Start(const DeviceSimulation& simulation, const LineSettings& line,
                                                 std::string* error);
    ~ModbusRtuSlave() override;

    void Feed(const std::string& bytes) override;

private:
    ModbusRtuSlave() = default;
    void Serve();
    void ReadMaster();

    int master_ = -1;
    int wake_[2] = {-1, -1}; // ends the reader thread
    modbus_t* context_ = nullptr;
    DeviceSimulation::MappingPtr mapping_;
    std::atomic<bool> stopping_{false};
    std::thread slaveThread_;
    std::thread readerThread_;
};
