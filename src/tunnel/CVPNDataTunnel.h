#pragma once

#include "tunnel/CDataTunnel.h"

class CNodeGateway;

// The tunnel behind a gateway's maintenance channel: asks the service for a VPN
// endpoint (97), writes the OpenVPN client's profile and credentials from its answer,
// opens the gateway's LAN (99, "switchOn" 1) and switches the channel off (99,
// "switchOn" 0). Requests go to the PC's server topic with QoS 2. The gateway record
// owns the tunnel; there is no device.
class CVPNDataTunnel : public CDataTunnel
{
public:
    CVPNDataTunnel(const TunnelServices& services, CNodeGateway* gateway);
    ~CVPNDataTunnel() override;

    // Channel request 97.
    void Start() override;
    // Switch-off 99 with the gateway's VPN port.
    void Stop() override;
    void OnTimeout() override;
    // LAN switch-on 99 with the gateway's LAN address and mask.
    void OnGatewayStatus() override;
    // Stores the reply's port in the gateway and writes the client's files.
    void OnVpnInfo(const VpnInfoRecord* record) override;
    // The gateway serial alone decides; a null one never matches.
    bool Match(const char* gwSn, const char* devSn) const override;
};
