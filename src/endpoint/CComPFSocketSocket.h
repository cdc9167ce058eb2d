#pragma once

#include "endpoint/CSocket.h"

class ComWriteOwner;

// The serial tunnel's connection to the port-transfer relay: each chunk the relay
// sends goes to the tunnel's COM port. The connected flag starts at 1 and drops to 0
// when the peer closes; the tunnel decides what to do then.
class CComPFSocketSocket : public CSocket
{
public:
    explicit CComPFSocketSocket(ComWriteOwner* owner);

    int ConnectedFlag() const { return connected_; }
    ComWriteOwner* Owner() const { return owner_; }

    // Largest chunk read per notification.
    static constexpr int ChunkSize = 1024;

protected:
    void OnReceive(int errorCode) override;
    void OnClose(int errorCode) override;

private:
    int32_t connected_ = 1;
    ComWriteOwner* owner_ = nullptr;
};
