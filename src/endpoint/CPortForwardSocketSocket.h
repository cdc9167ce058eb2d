#pragma once

#include "endpoint/CSocket.h"

class ComWriteOwner;

// A connection to the port-transfer server. Usually a short-lived local object with
// no owner that sends one framed request (and may read its reply with a blocking
// Receive); with an owner, what arrives goes to the owner's COM port as with
// CComPFSocketSocket. Without an owner, notified bytes are read and dropped.
class CPortForwardSocketSocket : public CSocket
{
public:
    explicit CPortForwardSocketSocket(ComWriteOwner* owner = nullptr);

    int ConnectedFlag() const { return connected_; }
    ComWriteOwner* Owner() const { return owner_; }

    static constexpr int ChunkSize = 1024;

protected:
    void OnReceive(int errorCode) override;
    void OnClose(int errorCode) override;

private:
    int32_t connected_ = 1;
    ComWriteOwner* owner_ = nullptr;
};
