#include "tunnel/CVPNDataTunnel.h"

#include "app/JsonPtr.h"
#include "cloud/CNodeGateway.h"
#include "endpoint/VpnClientControl.h"
#include "mqtt-c/MessagePublisher.h"
#include "mqtt-c/VpnInfoRecord.h"

#include <cjson/cJSON.h>

#include <cstring>
#include <string>

namespace {

// Requests of the maintenance channel travel on the PC's server topic.
constexpr int kServerQos = 2;

void PublishToServer(MessagePublisher* publisher, const JsonPtr& request)
{
    if (request != nullptr && publisher != nullptr) {
        publisher->PublishJsonToServer(request.get(), kServerQos);
    }
}

} // namespace

CVPNDataTunnel::CVPNDataTunnel(const TunnelServices& services, CNodeGateway* gateway)
    : CDataTunnel(services, gateway, nullptr)
{
}

CVPNDataTunnel::~CVPNDataTunnel() = default;

void CVPNDataTunnel::Start()
{
    if (GetGateway() != nullptr) {
        PublishToServer(Publisher(), mqtt_build_vpn_channel_request(GatewaySn().c_str(), PcId()));
    }
}

void CVPNDataTunnel::Stop()
{
    if (const CNodeGateway* gateway = GetGateway()) {
        // A release: kept while the broker is away.
        const JsonPtr request = mqtt_build_vpn_switch_off(gateway->gwSn.c_str(), gateway->vpnPort, PcId());
        if (request != nullptr && Publisher() != nullptr) {
            Publisher()->PublishJsonReleaseToServer(request.get(), kServerQos);
        }
    }
}

void CVPNDataTunnel::OnTimeout() {}

void CVPNDataTunnel::OnGatewayStatus()
{
    if (const CNodeGateway* gateway = GetGateway()) {
        PublishToServer(Publisher(), mqtt_build_vpn_switch_on(gateway->gwSn.c_str(), gateway->lanIp.c_str(),
                                                              gateway->lanMask.c_str(), PcId()));
    }
}

void CVPNDataTunnel::OnVpnInfo(const VpnInfoRecord* record)
{
    // Nothing that could break a line of the profile or the credentials file is ever
    // written (the view reports such a reply before it gets here).
    if (record == nullptr || !record->CheckGrant(nullptr)) {
        return;
    }
    if (CNodeGateway* gateway = GetGateway()) {
        gateway->vpnPort = record->vpnPort;
    }
    WriteProfile(Services().installation, record->vpnServerIp, std::to_string(record->vpnPort));
    WriteCredentials(record->userName);
}

bool CVPNDataTunnel::Match(const char* gwSn, const char* /*devSn*/) const
{
    return gwSn != nullptr && GetGateway() != nullptr && std::strcmp(GatewaySn().c_str(), gwSn) == 0;
}
