#pragma once

#include <memory>

class CDataTunnel;
class CNodeDevice;
class CNodeGateway;
class TunnelObserver;
struct TunnelServices;

// Creates the tunnel of a device by its tunnel type: 1 a local port-forward tunnel,
// 2 a serial tunnel, anything else none. Null also when the gateway or the device is
// missing. The tunnel publishes through `services` and reports to `observer`; they
// must outlive it. TunnelTable keeps the tunnels of the records.
std::unique_ptr<CDataTunnel> CreateTunnelForDevice(const TunnelServices& services, TunnelObserver* observer,
                                                   CNodeGateway* gateway, CNodeDevice* device);
