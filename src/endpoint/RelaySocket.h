#pragma once

#include "endpoint/CSocket.h"

class RelayDataOwner;

// A tunnel's connection to a relay server (the port-forward relay or the
// port-transfer server): each notification reads one block of at most the block size
// (ChunkSize unless the owner asks for larger blocks) and hands it to the owner's
// OnRelayData. Without an owner (a short-lived connection that sends one framed
// request and may read its reply with a blocking Receive) notified bytes are read and
// dropped. The connected flag starts at 1 and drops to 0 when the peer closes; the
// owner decides what to do then.
class RelaySocket : public CSocket
{
public:
    // `owner` is not owned and may be null. `blockSize` (1 to kReadBufferSize) is the
    // largest block read per notification: ChunkSize for an owner that relies on
    // chunks of at most 1,024 bytes, up to kReadBufferSize (all that is read ahead)
    // for one that passes the bytes on as a stream.
    explicit RelaySocket(RelayDataOwner* owner = nullptr, int blockSize = ChunkSize);

    int ConnectedFlag() const { return connected_; }
    RelayDataOwner* Owner() const { return owner_; }

    // Largest chunk read per notification unless a larger block size is given.
    static constexpr int ChunkSize = 1024;

protected:
    void OnReceive(int errorCode) override;
    void OnClose(int errorCode) override;
    // Room again after a backlog: the owner hears of it.
    void OnSend(int errorCode) override;

private:
    int32_t connected_ = 1;
    RelayDataOwner* owner_ = nullptr;
    int blockSize_ = ChunkSize;
};
