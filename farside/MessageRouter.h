#pragma once

#include "BinderService.h"
#include "GatewayService.h"
#include "VpnService.h"

#include <string>

class ServiceContext;

// Hands each message the far side receives to the service of its topic:
//   "/sys/varnex_binder/sub"                 binder
//   "/<gw>/down", "/sys/transparent/<gw>/down" the gateway <gw>
//   "/<pc>/lumetraToServer"                  VPN service
//   "/sys/lumetra/pfs/pc"                    a PC went away (3012): its devices and
//                                            channels are freed
class MessageRouter
{
public:
    MessageRouter(ServiceContext& context, VpnService::Server vpnServer);

    void Route(const std::string& topic, const std::string& payload);
    // Sent now and then: the keep-alive 2997 to every PC holding a device, and a state
    // report 98 for every open maintenance channel.
    void SendKeepAlives();

private:
    void PcWentAway(const std::string& payload);

    ServiceContext& context_;
    BinderService binder_;
    GatewayService gateways_;
    VpnService vpn_;
};
