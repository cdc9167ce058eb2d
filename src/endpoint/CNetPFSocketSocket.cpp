#include "endpoint/CNetPFSocketSocket.h"

#include "endpoint/RelayDataOwner.h"

CNetPFSocketSocket::CNetPFSocketSocket(RelayDataOwner* owner) : owner_(owner) {}

void CNetPFSocketSocket::OnReceive(int)
{
    unsigned char buffer[ChunkSize];
    const int count = Receive(buffer, ChunkSize, 0);
    if (count >= 1 && owner_ != nullptr) {
        owner_->OnRelayData(buffer, count);
    }
}

void CNetPFSocketSocket::OnClose(int errorCode)
{
    connected_ = 0;
    CSocket::OnClose(errorCode);
}
