#pragma once

#include "control/LocalListenerHost.h"
#include "tunnel/TunnelHost.h"

// The tunnel host of the window and of lumetra-cli: the local listener host, which
// the port-forward tunnels set up and report to, and the program's virtual COM pairs.
// The pairs are given, not owned: the serial tunnels keep using their halves until
// they are destroyed, which may be after this host has gone. The installation
// (listening address, trace log) outlives the host.
class LocalTunnelHost : public TunnelHost
{
public:
    LocalTunnelHost(Installation& installation, VirtualComPairs& comPairs);

    LocalListenerHost& Listener() { return listener_; }

    PortForwardListener* PortListener() override { return &listener_; }
    CSocket* FindLocalConnection(const LocalListenerOwner* owner) override;
    VirtualComPairs& ComPairs() override { return comPairs_; }

private:
    VirtualComPairs& comPairs_;
    LocalListenerHost listener_;
};
