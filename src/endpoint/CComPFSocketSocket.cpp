#include "endpoint/CComPFSocketSocket.h"

#include "endpoint/ComWriteOwner.h"

CComPFSocketSocket::CComPFSocketSocket(ComWriteOwner* owner) : owner_(owner) {}

void CComPFSocketSocket::OnReceive(int)
{
    unsigned char buffer[ChunkSize];
    const int count = Receive(buffer, ChunkSize, 0);
    if (count >= 1 && owner_ != nullptr) {
        owner_->WriteToCom(buffer, count);
    }
}

void CComPFSocketSocket::OnClose(int errorCode)
{
    connected_ = 0;
    CSocket::OnClose(errorCode);
}
