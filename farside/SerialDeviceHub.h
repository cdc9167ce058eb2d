#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

class DeviceSimulator;
class FaultBoard;
class Inventory;
class PcReplies;
class TcpConnection;

// The simulated serial devices (tunType 2), one per inventory device, and where each
// one's answers go: back over the PC's port-transfer connection, or to the PC as
// cmdId 2980 with the bytes in Base64 - the device's "returnPath" chooses, and MQTT is
// used whenever no connection is there.
class SerialDeviceHub
{
public:
    // The device's answers are held by the fault switch "dataDelayMs" of `faults`.
    SerialDeviceHub(PcReplies& replies, const FaultBoard& faults);
    ~SerialDeviceHub();
    SerialDeviceHub(const SerialDeviceHub&) = delete;
    SerialDeviceHub& operator=(const SerialDeviceHub&) = delete;

    // Makes the simulator of every serial device. False with a reason naming the
    // device when one cannot be made.
    bool Build(const Inventory& inventory, std::string* error);

    bool Has(const std::string& gwSn, const std::string& devSn) const;
    // The device now answers `pcId`, over `connection` when given (and its
    // return path is "tcp").
    void Route(const std::string& gwSn, const std::string& devSn, const std::string& pcId,
               const std::shared_ptr<TcpConnection>& connection);
    // Sets the PC that MQTT answers go to, keeping a connection that serves the same PC.
    void RouteToPc(const std::string& gwSn, const std::string& devSn, const std::string& pcId);
    // Forgets the connection when it is still the device's one.
    void Unroute(const std::string& gwSn, const std::string& devSn,
                 const std::shared_ptr<TcpConnection>& connection);
    // Forgets where answers go (the device was released).
    void Unroute(const std::string& gwSn, const std::string& devSn);
    // Bytes for the device; false when there is no such device.
    bool Feed(const std::string& gwSn, const std::string& devSn, const std::string& bytes);

private:
    struct Entry
    {
        std::string gwSn, devSn;
        bool viaMqtt = false;
        std::unique_ptr<DeviceSimulator> simulator;
        std::string pcId;
        std::shared_ptr<TcpConnection> connection;
        uint32_t ptSn = 0;
    };
    using Key = std::pair<std::string, std::string>;

    void Deliver(Entry* entry, const std::string& bytes);

    PcReplies& replies_;
    const FaultBoard& faults_;
    mutable std::mutex mutex_; // guards the route members of the entries
    std::map<Key, std::unique_ptr<Entry>> entries_;
};
