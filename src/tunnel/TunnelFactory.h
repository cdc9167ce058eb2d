#pragma once

class CDataTunnel;
class CNodeDevice;
class CNodeGateway;
namespace platform {
class MessageWindow;
} // namespace platform
class TunnelHost;
struct TunnelServices;

// Creates the tunnel of a device by its tunnel type: 1 a local port-forward tunnel,
// 2 a serial tunnel, anything else none. The result, also a null one, is stored in
// the device record as its tunnel, which owns it from then on. Null when the gateway
// or the device is missing (the device record is then left as it was). The tunnel
// publishes through `services` and is handed `host`; both must outlive it.
CDataTunnel* CreateTunnelForDevice(const TunnelServices& services, platform::MessageWindow* notifyWindow,
                                   CNodeGateway* gateway, CNodeDevice* device, TunnelHost* host);

// Frees what a gateway record owns: its devices with their tunnels and its channel
// tunnel. The record itself stays, with no devices and no channel tunnel.
void ReleaseGatewayRecords(CNodeGateway* gateway);
