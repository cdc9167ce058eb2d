#pragma once

#include "Inventory.h"

#include <string>

class FaultBoard;
class LinkTable;
class PcReplies;
class SerialDeviceHub;

// What the far side's services share: the inventory, the table of held devices, the
// serial device simulators, the way back to the PCs and the fault switches.
class ServiceContext
{
public:
    ServiceContext(const Inventory& inventoryIn, LinkTable& linksIn, SerialDeviceHub& serialDevicesIn,
                   PcReplies& repliesIn, FaultBoard& faultsIn)
        : inventory(inventoryIn), links(linksIn), serialDevices(serialDevicesIn), replies(repliesIn),
          faults(faultsIn)
    {
    }

    // The device when it exists behind a gateway that is online; otherwise null with
    // the reason in `why`.
    const Inventory::Device* OnlineDevice(const std::string& gwSn, const std::string& devSn,
                                          std::string* why) const;
    // The gateway when it exists and is online; otherwise null with the reason.
    const Inventory::Gateway* OnlineGateway(const std::string& gwSn, std::string* why) const;

    const Inventory& inventory;
    LinkTable& links;
    SerialDeviceHub& serialDevices;
    PcReplies& replies;
    FaultBoard& faults;
};
