#include "endpoint/RelaySocket.h"

#include "endpoint/RelayDataOwner.h"

#include <algorithm>
#include <vector>

RelaySocket::RelaySocket(RelayDataOwner* owner, int blockSize)
    : owner_(owner), blockSize_(std::clamp(blockSize, 1, static_cast<int>(kReadBufferSize)))
{
}

void RelaySocket::OnReceive(int)
{
    if (blockSize_ <= ChunkSize) {
        unsigned char buffer[ChunkSize];
        const int count = Receive(buffer, blockSize_, 0);
        if (count >= 1 && owner_ != nullptr) {
            owner_->OnRelayData(buffer, count);
        }
        return;
    }
    // A block of what has been read ahead, in a buffer of this call: the owner may
    // delete the socket while it handles the bytes.
    std::vector<unsigned char> buffer(
        static_cast<size_t>(std::clamp<int64_t>(BytesReadable(), 1, blockSize_)));
    const int count = Receive(buffer.data(), static_cast<int>(buffer.size()), 0);
    if (count >= 1 && owner_ != nullptr) {
        owner_->OnRelayData(buffer.data(), count);
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
