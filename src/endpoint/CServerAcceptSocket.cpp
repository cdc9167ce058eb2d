#include "endpoint/CServerAcceptSocket.h"

#include "app/TraceLog.h"
#include "endpoint/ComTransferData.h"
#include "endpoint/LocalDataOwner.h"

#include <vector>

CServerAcceptSocket::CServerAcceptSocket(LocalDataOwner* owner, TraceLog* trace)
    : owner_(owner), trace_(trace)
{
}

void CServerAcceptSocket::OnReceive(int errorCode)
{
    std::vector<unsigned char> buffer(ChunkSize);
    const int count = Receive(buffer.data(), ChunkSize, 0);
    if (count >= 1) {
        std::vector<unsigned char> copy(buffer.begin(), buffer.begin() + count);
        _com_transfer_data block;
        block.bytes = copy.data();
        block.length = static_cast<uint32_t>(count);
        block.newConnection = newConnection_;
        newConnection_ = 0;
        LocalDataOwner* owner = owner_;
        TraceLog* trace = trace_;
        // Nothing of this object is touched after the owner's call: the owner may
        // close and delete the connection from there.
        if (owner != nullptr) {
            owner->SendLocalData(&block);
        }
        if (trace != nullptr) {
            trace->Write(buffer.data(), static_cast<uint32_t>(count), "local socket recv:", 1);
        }
        return;
    }
    CSocket::OnReceive(errorCode);
}

void CServerAcceptSocket::OnSend(int)
{
    if (owner_ != nullptr) {
        owner_->OnLocalWritable();
    }
}
