#include "FaultBoard.h"

#include <algorithm>
#include <vector>

FaultBoard::FaultBoard(const Inventory& inventory)
{
    for (const Inventory::Account& account : inventory.Accounts()) {
        for (const Inventory::Gateway& gateway : account.gateways) {
            for (const Inventory::Device& device : gateway.devices)
                devices_[{gateway.gwSn, device.deviceSn}].switches = device.switches;
        }
    }
}

FaultBoard::Switches FaultBoard::Of(const std::string& gwSn, const std::string& devSn) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = devices_.find({gwSn, devSn});
    return it == devices_.end() ? Switches() : it->second.switches;
}

bool FaultBoard::Change(const std::string& gwSn, const std::string& devSn,
                        const std::function<void(Switches&)>& change, bool countAgain)
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = devices_.find({gwSn, devSn});
    if (it == devices_.end())
        return false;
    change(it->second.switches);
    if (countAgain)
        ++it->second.generation;
    return true;
}

int FaultBoard::Track(const std::string& gwSn, const std::string& devSn, std::function<void()> close)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const int id = nextId_++;
    Tracked& tracked = tracked_[id];
    tracked.key = {gwSn, devSn};
    tracked.close = std::move(close);
    auto device = devices_.find(tracked.key);
    tracked.generation = device == devices_.end() ? 0 : device->second.generation;
    return id;
}

void FaultBoard::Untrack(int id)
{
    std::lock_guard<std::mutex> lock(mutex_);
    tracked_.erase(id);
}

int FaultBoard::Drop(const std::string& gwSn, const std::string& devSn)
{
    std::vector<std::function<void()>> closers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& [id, tracked] : tracked_) {
            if (tracked.key == Key(gwSn, devSn))
                closers.push_back(tracked.close);
        }
    }
    for (const auto& close : closers)
        close();
    return static_cast<int>(closers.size());
}

size_t FaultBoard::Admit(int id, size_t size, bool* drop)
{
    *drop = false;
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = tracked_.find(id);
    if (it == tracked_.end())
        return size;
    Tracked& tracked = it->second;
    auto device = devices_.find(tracked.key);
    if (device == devices_.end() || device->second.switches.dropAfterBytes <= 0)
        return size;
    if (tracked.generation != device->second.generation) {
        tracked.generation = device->second.generation;
        tracked.received = 0;
    }
    const long bound = device->second.switches.dropAfterBytes;
    const size_t admitted = std::min(size, static_cast<size_t>(std::max(0L, bound - tracked.received)));
    tracked.received += static_cast<long>(admitted);
    *drop = tracked.received >= bound;
    return admitted;
}
