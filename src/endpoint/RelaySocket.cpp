#include "endpoint/RelaySocket.h"

#include "endpoint/RelayDataOwner.h"

RelaySocket::RelaySocket(RelayDataOwner* owner) : owner_(owner) {}

void RelaySocket::OnReceive(int)
{
    unsigned char buffer[ChunkSize];
    const int count = Receive(buffer, ChunkSize, 0);
    if (count >= 1 && owner_ != nullptr) {
        owner_->OnRelayData(buffer, count);
    }
}

void RelaySocket::OnSend(int)
{
    if (owner_ != nullptr) {
        owner_->OnRelayWritable();
    }
}

void RelaySocket::OnClose(int errorCode)
{
    connected_ = 0;
    CSocket::OnClose(errorCode);
    if (owner_ != nullptr) {
        owner_->OnRelayClosed();
    }
}
