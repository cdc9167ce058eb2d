#include "control/LocalTunnelHost.h"

#include "endpoint/CServerAcceptSocket.h"

LocalTunnelHost::LocalTunnelHost(Installation& installation, VirtualComPairs& comPairs)
    : comPairs_(comPairs), listener_(installation)
{
}

CSocket* LocalTunnelHost::FindLocalConnection(const LocalListenerOwner* owner)
{
    return listener_.FindConnection(owner);
}
