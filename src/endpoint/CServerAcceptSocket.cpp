#include "endpoint/CServerAcceptSocket.h"

#include "app/TraceLog.h"
#include "endpoint/ComTransferData.h"
#include "endpoint/LocalDataOwner.h"

#include <cstring>
#include <memory>

CServerAcceptSocket::CServerAcceptSocket(LocalDataOwner* owner, TraceLog* trace)
    : owner_(owner), trace_(trace)
{
}

void CServerAcceptSocket::OnReceive(int errorCode)
{
    // Everything read ahead is handed on in this call, chunk by chunk: one pass of the
    // event loop per chunk would bound a bulk transfer by the loop's rate.
    const std::weak_ptr<const void> alive = Lifetime();
    int64_t budget = kReadBufferSize;
    unsigned char buffer[ChunkSize];
    unsigned char copy[ChunkSize];
    for (;;) {
        const int count = Receive(buffer, ChunkSize, 0);
        if (count < 1) {
            CSocket::OnReceive(errorCode);
            return;
        }
        std::memcpy(copy, buffer, static_cast<size_t>(count));
        _com_transfer_data block;
        block.bytes = copy;
        block.length = static_cast<uint32_t>(count);
        block.newConnection = newConnection_;
        newConnection_ = 0;
        LocalDataOwner* owner = owner_;
        TraceLog* trace = trace_;
        // Nothing of this object is touched after the owner's call until it is known
        // to be alive: the owner may close and delete the connection from there.
        if (owner != nullptr) {
            owner->SendLocalData(&block);
        }
        if (trace != nullptr) {
            trace->Write(buffer, static_cast<uint32_t>(count), "local socket recv:", 1);
        }
        budget -= count;
        // A held connection (the owner's relay is backlogged) stops here and is
        // notified again when it resumes.
        if (alive.expired() || budget <= 0 || IsReceivePaused() || BytesReadable() == 0) {
            return;
        }
    }
}

void CServerAcceptSocket::OnSend(int)
{
    if (owner_ != nullptr) {
        owner_->OnLocalWritable();
    }
}
