#include "tunnel/TunnelTable.h"

#include "cloud/CNodeDevice.h"
#include "cloud/CNodeGateway.h"
#include "tunnel/CDataTunnel.h"
#include "tunnel/CVPNDataTunnel.h"
#include "tunnel/TunnelFactory.h"

TunnelTable::TunnelTable() = default;

TunnelTable::~TunnelTable()
{
    Clear();
}

CDataTunnel* TunnelTable::DeviceTunnel(const CNodeDevice* device) const
{
    const auto found = deviceTunnels_.find(device);
    return found != deviceTunnels_.end() ? found->second.get() : nullptr;
}

CDataTunnel* TunnelTable::CreateDeviceTunnel(const TunnelServices& services, TunnelObserver* observer,
                                             CNodeGateway* gateway, CNodeDevice* device)
{
    if (gateway == nullptr || device == nullptr) {
        return nullptr;
    }
    std::unique_ptr<CDataTunnel> tunnel = CreateTunnelForDevice(services, observer, gateway, device);
    CDataTunnel* made = tunnel.get();
    if (made == nullptr) {
        deviceTunnels_.erase(device);
    } else {
        deviceTunnels_[device] = std::move(tunnel);
    }
    return made;
}

void TunnelTable::AdoptTunnels(CNodeGateway* gateway)
{
    if (gateway == nullptr) {
        return;
    }
    for (const std::unique_ptr<CNodeDevice>& owned : gateway->devices) {
        CNodeDevice* device = owned.get();
        if (device == nullptr || deviceTunnels_.count(device) != 0) {
            continue;
        }
        const std::string devSn = device->deviceSn.toStdString();
        for (auto it = deviceTunnels_.begin(); it != deviceTunnels_.end(); ++it) {
            CDataTunnel* tunnel = it->second.get();
            CNodeDevice* old = tunnel->GetDevice();
            if (old == nullptr || old == device || tunnel->GatewaySn() != gateway->gwSn ||
                tunnel->DeviceSn() != devSn) {
                continue;
            }
            device->tunnelOpen = old->tunnelOpen;
            device->rowIndex = old->rowIndex;
            device->virtualComPair = old->virtualComPair;
            device->localComNumber = old->localComNumber;
            old->tunnelOpen = 0;
            old->virtualComPair = nullptr;
            old->localComNumber = -1;
            tunnel->Rebind(gateway, device);
            std::unique_ptr<CDataTunnel> moved = std::move(it->second);
            deviceTunnels_.erase(it);
            deviceTunnels_[device] = std::move(moved);
            break;
        }
    }
}

CVPNDataTunnel* TunnelTable::ChannelTunnel(const CNodeGateway* gateway) const
{
    const auto found = channelTunnels_.find(gateway);
    return found != channelTunnels_.end() ? found->second.get() : nullptr;
}

CVPNDataTunnel* TunnelTable::EnsureChannelTunnel(const TunnelServices& services, CNodeGateway* gateway)
{
    std::unique_ptr<CVPNDataTunnel>& tunnel = channelTunnels_[gateway];
    if (tunnel == nullptr) {
        tunnel = std::make_unique<CVPNDataTunnel>(services, gateway);
    }
    return tunnel.get();
}

void TunnelTable::Clear()
{
    // Moved out first: a tunnel's destructor finds the table already empty.
    std::map<const CNodeDevice*, std::unique_ptr<CDataTunnel>> devices;
    devices.swap(deviceTunnels_);
    std::map<const CNodeGateway*, std::unique_ptr<CVPNDataTunnel>> channels;
    channels.swap(channelTunnels_);
    devices.clear();
    channels.clear();
}
