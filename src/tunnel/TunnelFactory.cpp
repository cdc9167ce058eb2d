#include "tunnel/TunnelFactory.h"

#include "cloud/CNodeDevice.h"
#include "cloud/CNodeGateway.h"
#include "tunnel/CComDataTunnel.h"
#include "tunnel/CNetPfLocalDataTunnel.h"
#include "tunnel/CVPNDataTunnel.h"

#include <new>

CDataTunnel* CreateTunnelForDevice(const TunnelServices& services, TunnelObserver* observer,
                                   CNodeGateway* gateway, CNodeDevice* device, TunnelHost* host)
{
    if (gateway == nullptr || device == nullptr) {
        return nullptr;
    }
    CDataTunnel* tunnel = nullptr;
    switch (device->tunType) {
    case kTunTypeLocalPortForward:
        tunnel = new (std::nothrow) CNetPfLocalDataTunnel(services, observer, gateway, device, host);
        break;
    case kTunTypeSerial:
        tunnel = new (std::nothrow) CComDataTunnel(services, observer, gateway, device, host);
        break;
    default:
        break;
    }
    device->tunnel = tunnel;
    return tunnel;
}

void ReleaseGatewayRecords(CNodeGateway* gateway)
{
    if (gateway == nullptr) {
        return;
    }
    for (const std::unique_ptr<CNodeDevice>& device : gateway->devices) {
        if (device != nullptr) {
            delete device->tunnel;
        }
    }
    gateway->devices.clear();
    delete gateway->vpnTunnel;
    gateway->vpnTunnel = nullptr;
}
