#pragma once

struct _com_transfer_data;

// The tunnel behind an accepted local connection: each chunk that a local
// application sends reaches it as one block. Called on the UI thread; the block and
// its bytes are valid only during the call.
class LocalDataOwner
{
public:
    virtual ~LocalDataOwner() = default;
    virtual void SendLocalData(_com_transfer_data* block) = 0;
    // An accepted local connection was backlogged (CSocket::IsWriteBacklogged) and
    // has room again, or was lost. The base does nothing.
    virtual void OnLocalWritable() {}
};
