#pragma once

#include "endpoint/VirtualComPairs.h"
#include "tunnel/TunnelHost.h"

// A tunnel host around a stand-in for the local listener (one that records its
// calls, or none): no local connection is ever found. The pairs are the host's own
// and go with it.
class RecordingTunnelHost : public TunnelHost
{
public:
    explicit RecordingTunnelHost(PortForwardListener* listener = nullptr) : listener_(listener) {}

    PortForwardListener* PortListener() override { return listener_; }
    CSocket* FindLocalConnection(const LocalListenerOwner*) override { return nullptr; }
    VirtualComPairs& ComPairs() override { return comPairs_; }

private:
    PortForwardListener* listener_;
    VirtualComPairs comPairs_;
};
