#include "endpoint/CPortForwardSocketSocket.h"

#include "endpoint/ComWriteOwner.h"

CPortForwardSocketSocket::CPortForwardSocketSocket(ComWriteOwner* owner) : owner_(owner) {}

void CPortForwardSocketSocket::OnReceive(int)
{
    unsigned char buffer[ChunkSize];
    const int count = Receive(buffer, ChunkSize, 0);
    if (count >= 1 && owner_ != nullptr) {
        owner_->WriteToCom(buffer, count);
    }
}

void CPortForwardSocketSocket::OnClose(int errorCode)
{
    connected_ = 0;
    CSocket::OnClose(errorCode);
}
