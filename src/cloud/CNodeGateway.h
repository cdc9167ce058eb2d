#pragma once

#include "cloud/CNodeDevice.h"
#include "cloud/GatewayInfo.h"

#include <memory>
#include <vector>

// A gateway of the account, with its devices and the run-time state of its
// maintenance channel (the channel tunnel itself is kept in the tunnel layer's
// TunnelTable). It owns its devices, so it moves but is not copied: a record
// kept from a list entry is made from the entry's GatewayInfo.
class CNodeGateway : public GatewayInfo
{
public:
    CNodeGateway() = default;
    explicit CNodeGateway(const GatewayInfo& info) : GatewayInfo(info) {}

    // Run-time channel fields.
    int vpnPort = 0;
    int linkUp = 0;
    int channelRequested = 0;
    int channelActive = 0;

    std::vector<std::unique_ptr<CNodeDevice>> devices; // filled from the device list reply
};
