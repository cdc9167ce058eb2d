#include "SerialDeviceHub.h"

#include "Base64.h"
#include "DeviceSimulator.h"
#include "FarsideLog.h"
#include "FaultBoard.h"
#include "Inventory.h"
#include "PcReplies.h"
#include "TcpConnection.h"

#include <cjson/cJSON.h>

#include <chrono>
#include <thread>

SerialDeviceHub::SerialDeviceHub(PcReplies& replies, const FaultBoard& faults)
    : replies_(replies), faults_(faults)
{
}

SerialDeviceHub::~SerialDeviceHub()
{
    // Silence the simulators before they go, so no answer reaches a half-gone hub.
    for (auto& [key, entry] : entries_)
        entry->simulator->SetOutput(nullptr);
}

bool SerialDeviceHub::Build(const Inventory& inventory, std::string* error)
{
    for (const Inventory::Account& account : inventory.Accounts()) {
        for (const Inventory::Gateway& gateway : account.gateways) {
            for (const Inventory::Device& device : gateway.devices) {
                if (device.tunType.value_or(0) != 2)
                    continue;
                std::string reason;
                auto entry = std::make_unique<Entry>();
                entry->simulator = MakeSerialDevice(device.json, &reason);
                if (!entry->simulator) {
                    *error = "serial device " + gateway.gwSn + "/" + device.deviceSn + ": " + reason;
                    return false;
                }
                entry->gwSn = gateway.gwSn;
                entry->devSn = device.deviceSn;
                entry->viaMqtt = device.returnPath == "mqtt";
                Entry* raw = entry.get();
                entry->simulator->SetOutput([this, raw](const std::string& bytes) { Deliver(raw, bytes); });
                entries_[{gateway.gwSn, device.deviceSn}] = std::move(entry);
            }
        }
    }
    return true;
}

bool SerialDeviceHub::Has(const std::string& gwSn, const std::string& devSn) const
{
    return entries_.count({gwSn, devSn}) > 0;
}

void SerialDeviceHub::Route(const std::string& gwSn, const std::string& devSn, const std::string& pcId,
                            const std::shared_ptr<TcpConnection>& connection)
{
    auto it = entries_.find({gwSn, devSn});
    if (it == entries_.end())
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    it->second->pcId = pcId;
    it->second->connection = connection;
}

void SerialDeviceHub::RouteToPc(const std::string& gwSn, const std::string& devSn, const std::string& pcId)
{
    auto it = entries_.find({gwSn, devSn});
    if (it == entries_.end())
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (it->second->pcId != pcId)
        it->second->connection.reset();
    it->second->pcId = pcId;
}

void SerialDeviceHub::Unroute(const std::string& gwSn, const std::string& devSn,
                              const std::shared_ptr<TcpConnection>& connection)
{
    auto it = entries_.find({gwSn, devSn});
    if (it == entries_.end())
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (it->second->connection == connection)
        it->second->connection.reset();
}

void SerialDeviceHub::Unroute(const std::string& gwSn, const std::string& devSn)
{
    auto it = entries_.find({gwSn, devSn});
    if (it == entries_.end())
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    it->second->connection.reset();
    it->second->pcId.clear();
}

bool SerialDeviceHub::Feed(const std::string& gwSn, const std::string& devSn, const std::string& bytes)
{
    auto it = entries_.find({gwSn, devSn});
    if (it == entries_.end())
        return false;
    it->second->simulator->Feed(bytes);
    return true;
}

void SerialDeviceHub::Deliver(Entry* entry, const std::string& bytes)
{
    // A slow device: its answer leaves that much later (on the simulator's thread).
    const int hold = faults_.Of(entry->gwSn, entry->devSn).dataDelayMs;
    if (hold > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(hold));
    std::string pcId;
    std::shared_ptr<TcpConnection> connection;
    uint32_t ptSn;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pcId = entry->pcId;
        connection = entry->viaMqtt ? nullptr : entry->connection;
        ptSn = ++entry->ptSn;
    }
    if (connection) {
        connection->Send(bytes);
        return;
    }
    if (pcId.empty()) {
        FarsideLog::Line("serial device " + entry->gwSn + "/" + entry->devSn + ": " +
                         std::to_string(bytes.size()) + " bytes dropped (no PC attached)");
        return;
    }
    const std::string text = Base64::Encode(bytes);
    JsonPtr message = PcReplies::Make(2980, entry->gwSn, entry->devSn);
    cJSON_AddNumberToObject(message.get(), "pt_sn", ptSn);
    cJSON_AddStringToObject(message.get(), "pt_payload", text.c_str());
    cJSON_AddNumberToObject(message.get(), "payload_len", static_cast<double>(text.size()));
    replies_.Send(pcId, std::move(message));
}
