#pragma once

#include "endpoint/VirtualComPairs.h"
#include "tunnel/TunnelHost.h"

// A tunnel host around a window that stands in for the listener host (it records
// the listener messages, or is null): no local connection is ever found. The pairs
// are the host's own and go with it.
class RecordingTunnelHost : public TunnelHost
{
public:
    explicit RecordingTunnelHost(platform::MessageWindow* listenerWindow = nullptr)
        : listenerWindow_(listenerWindow)
    {
    }

    platform::MessageWindow* ListenerWindow() override { return listenerWindow_; }
    CSocket* FindLocalConnection(const LocalListenerOwner*) override { return nullptr; }
    VirtualComPairs& ComPairs() override { return comPairs_; }

private:
    platform::MessageWindow* listenerWindow_;
    VirtualComPairs comPairs_;
};
