#pragma once

class CSocket;
class LocalListenerOwner;
class PortForwardListener;
class VirtualComPairs;

// What the program that runs the tunnels offers them beyond their own view: the
// local listener of the port-forward tunnels and the virtual COM pairs of the serial
// tunnels. The window and lumetra-cli each make one at start-up and hand it to every
// tunnel they create (TunnelFactory); it must outlive those tunnels' use of it.
class TunnelHost
{
public:
    virtual ~TunnelHost() = default;

    // The local listener the port-forward tunnels set up, close and pass their
    // port-forward traffic to. Null when there is none.
    virtual PortForwardListener* PortListener() = 0;

    // The first local connection, in accepting order, that the listener accepted for
    // `owner` and that is still open; null when none.
    virtual CSocket* FindLocalConnection(const LocalListenerOwner* owner) = 0;

    // The virtual COM pairs the serial tunnels start on.
    virtual VirtualComPairs& ComPairs() = 0;
};
