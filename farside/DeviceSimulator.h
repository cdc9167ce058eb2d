#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <modbus.h>

struct cJSON;

// A simulated device behind a gateway's serial port: bytes the far side received for
// the device go in through Feed, the device's answers come out through the output.
// Feed and the output may run on different threads. The output is called either on
// the thread calling Feed, before Feed returns (echo), or on a thread of the
// simulator (Modbus slave), so it must not wait for a lock that the caller of Feed
// holds while feeding.
class DeviceSimulator
{
public:
    virtual ~DeviceSimulator() = default;

    // Bytes for the device, in arrival order; any bytes are accepted.
    virtual void Feed(const std::string& bytes) = 0;

    // Where the device's bytes go; may be set or replaced at any time, and bytes
    // emitted while none is set are dropped. Once SetOutput returns, the previous
    // output is no longer running and is never called again. Not to be called from
    // inside the output itself.
    void SetOutput(std::function<void(const std::string&)> out);

protected:
    void Emit(const std::string& bytes);

private:
    std::mutex outputMutex_;
    std::function<void(const std::string&)> output_;
};

// The "simulation" member of a device entry, checked, with defaults filled in (see
// MakeSerialDevice below for the members).
struct DeviceSimulation
{
    std::string kind;
    int slaveId = 1;
    std::vector<int> holdingRegisters;
    std::vector<int> inputRegisters;
    std::vector<int> coils;
    std::vector<int> discreteInputs;

    // Reads the member of `deviceJson`; `defaultKind` applies when it has no kind,
    // `kinds` lists the kinds accepted. False with a reason naming the member.
    static bool Parse(const cJSON* deviceJson, const std::string& defaultKind,
                      const std::vector<std::string>& kinds, DeviceSimulation* out, std::string* error);

    // A libmodbus register map holding the tables, starting at address 0.
    struct MappingDeleter
    {
        void operator()(modbus_mapping_t* mapping) const { modbus_mapping_free(mapping); }
    };
    using MappingPtr = std::unique_ptr<modbus_mapping_t, MappingDeleter>;
    MappingPtr NewMapping() const;
};

// Builds the simulator of a serial device from its inventory entry. The entry's
// optional member "simulation" chooses it:
//   {"kind": "modbus-rtu" | "echo",
//    "slaveId": 1,                        1..247
//    "holdingRegisters": [n, ...],        registers 1.. (addresses 0..), 0..65535
//    "inputRegisters": [n, ...],
//    "coils": [0|1|false|true, ...],
//    "discreteInputs": [0|1|false|true, ...]}
// Without "simulation" or without "kind" the device is a Modbus RTU slave; a Modbus
// slave without register members has id 1, holding and input registers 1..10 holding
// 1001..1010 and coils and discrete inputs 1..8 alternating 1,0,... A Modbus RTU slave
// uses the entry's "baud" (9600 when absent or 0), "databit" (8), "parity" (0 none,
// 1 odd, any other value even) and "stopbit" (1). Returns null with a one-line reason
// naming the member when the entry is wrong or the slave cannot start.
std::unique_ptr<DeviceSimulator> MakeSerialDevice(const cJSON* deviceJson, std::string* error);
