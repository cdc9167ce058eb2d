#include "ServiceContext.h"

const Inventory::Gateway* ServiceContext::OnlineGateway(const std::string& gwSn, std::string* why) const
{
    const Inventory::Gateway* gateway = inventory.FindGateway(gwSn);
    if (!gateway) {
        *why = "unknown gateway " + gwSn;
        return nullptr;
    }
    if (!gateway->Online()) {
        *why = "gateway " + gwSn + " is offline";
        return nullptr;
    }
    return gateway;
}

const Inventory::Device* ServiceContext::OnlineDevice(const std::string& gwSn, const std::string& devSn,
                                                      std::string* why) const
{
    if (!OnlineGateway(gwSn, why))
        return nullptr;
    const Inventory::Device* device = inventory.FindDevice(gwSn, devSn);
    if (!device)
        *why = "gateway " + gwSn + " has no device " + devSn;
    return device;
}
