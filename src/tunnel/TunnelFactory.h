#pragma once

class CDataTunnel;
class CNodeDevice;
class CNodeGateway;
class TunnelHost;
class TunnelObserver;
struct TunnelServices;

// Creates the tunnel of a device by its tunnel type: 1 a local port-forward tunnel,
// 2 a serial tunnel, anything else none. The result, also a null one, is stored in
// the device record as its tunnel, which owns it from then on. Null when the gateway
// or the device is missing (the device record is then left as it was). The tunnel
// publishes through `services`, reports to `observer` and is handed `host`; all must
// outlive it.
CDataTunnel* CreateTunnelForDevice(const TunnelServices& services, TunnelObserver* observer,
                                   CNodeGateway* gateway, CNodeDevice* device, TunnelHost* host);

// Frees what a gateway record owns: its devices with their tunnels and its channel
// tunnel. The record itself stays, with no devices and no channel tunnel.
void ReleaseGatewayRecords(CNodeGateway* gateway);
