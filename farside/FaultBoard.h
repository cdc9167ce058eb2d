#pragma once

#include "Inventory.h"

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>

// The fault switches of every device, as the inventory sets them and the control
// channel changes them, and the tunnel connections (relay and port-transfer) open for
// each device, so that a switch can end them. Safe from any thread; the closers run
// outside the board's lock.
//
// "dropAfterBytes" N counts the bytes the far side receives from the PC on one tunnel
// connection, from the later of the connection's registration and the moment the
// switch was set: the device gets exactly the first N of them, then the connection is
// closed.
class FaultBoard
{
public:
    using Key = std::pair<std::string, std::string>; // gateway and device serial
    using Switches = Inventory::FaultSwitches;

    explicit FaultBoard(const Inventory& inventory);

    Switches Of(const std::string& gwSn, const std::string& devSn) const;
    // Changes the device's switches with `change`; `countAgain` restarts the byte
    // count of dropAfterBytes on the open connections. False when the inventory has
    // no such device.
    bool Change(const std::string& gwSn, const std::string& devSn,
                const std::function<void(Switches&)>& change, bool countAgain = false);

    // A tunnel connection of the device: `close` ends it. Returns its id.
    int Track(const std::string& gwSn, const std::string& devSn, std::function<void()> close);
    void Untrack(int id);
    // Ends every tracked connection of the device; returns how many there were.
    int Drop(const std::string& gwSn, const std::string& devSn);
    // How many of `size` bytes just received from the PC on connection `id` go to the
    // device; `drop` tells that the connection has reached its bound and is to be
    // closed once they are passed on.
    size_t Admit(int id, size_t size, bool* drop);

private:
    struct Tracked
    {
        Key key;
        std::function<void()> close;
        long received = 0;  // bytes admitted since `generation`
        int generation = 0; // the device's generation these bytes count from
    };
    struct Device
    {
        Switches switches;
        int generation = 0; // raised whenever dropAfterBytes is set
    };

    mutable std::mutex mutex_;
    std::map<Key, Device> devices_;
    std::map<int, Tracked> tracked_;
    int nextId_ = 1;
};
