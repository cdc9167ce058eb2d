#include "control/LocalTunnelHost.h"

#include "endpoint/CServerAcceptSocket.h"
#include "tunnel/CNetPfLocalDataTunnel.h"

LocalTunnelHost::LocalTunnelHost(Installation& installation, VirtualComPairs& comPairs)
    : comPairs_(comPairs), listener_(installation, [](platform::WParam tunnel) {
          return CNetPfLocalDataTunnel::ListenerOwnerFromParam(tunnel);
      })
{
}

CSocket* LocalTunnelHost::FindLocalConnection(const LocalListenerOwner* owner)
{
    return listener_.FindConnection(owner);
}
