#include "tunnel/TunnelFactory.h"

#include "cloud/CNodeDevice.h"
#include "tunnel/CComDataTunnel.h"
#include "tunnel/CNetPfLocalDataTunnel.h"

#include <new>

std::unique_ptr<CDataTunnel> CreateTunnelForDevice(const TunnelServices& services, TunnelObserver* observer,
                                                   CNodeGateway* gateway, CNodeDevice* device)
{
    if (gateway == nullptr || device == nullptr) {
        return nullptr;
    }
    switch (device->tunType) {
    case kTunTypeLocalPortForward:
        return std::unique_ptr<CDataTunnel>(new (std::nothrow)
                                                CNetPfLocalDataTunnel(services, observer, gateway, device));
    case kTunTypeSerial:
        return std::unique_ptr<CDataTunnel>(new (std::nothrow)
                                                CComDataTunnel(services, observer, gateway, device));
    default:
        return nullptr;
    }
}
