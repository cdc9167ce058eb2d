#pragma once

#include "endpoint/CSocket.h"

class RelayDataOwner;

// The local port-forward tunnel's connection to the relay server: each chunk the
// relay sends goes to the tunnel's OnRelayData. The connected flag starts at 1 and
// drops to 0 when the peer closes.
class CNetPFSocketSocket : public CSocket
{
public:
    explicit CNetPFSocketSocket(RelayDataOwner* owner);

    int ConnectedFlag() const { return connected_; }
    RelayDataOwner* Owner() const { return owner_; }

    static constexpr int ChunkSize = 1024;

protected:
    void OnReceive(int errorCode) override;
    void OnClose(int errorCode) override;

private:
    int32_t connected_ = 1;
    RelayDataOwner* owner_ = nullptr;
};
