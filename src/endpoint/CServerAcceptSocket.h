#pragma once

#include "endpoint/CSocket.h"

class LocalDataOwner;
class TraceLog;

// A connection that the local listener accepted from an application on the PC.
// Each chunk it receives (at most 1,024 bytes) reaches the owner as one
// _com_transfer_data block whose new-connection flag is 1 for the first chunk of the
// connection and 0 afterwards, and is written to the trace log in hex (when one is given).
// One notification hands on everything read ahead (at most kReadBufferSize bytes),
// chunk by chunk, unless the owner holds the connection (PauseReceive) meanwhile.
class CServerAcceptSocket : public CSocket
{
public:
    CServerAcceptSocket(LocalDataOwner* owner, TraceLog* trace);

    LocalDataOwner* Owner() const { return owner_; }
    int NewConnectionFlag() const { return newConnection_; }
    int MatchedFlag() const { return matched_; }
    void SetMatchedFlag(int matched) { matched_ = matched; }

    static constexpr int ChunkSize = 1024;

protected:
    void OnReceive(int errorCode) override;
    // Room again after a backlog: the owner hears of it.
    void OnSend(int errorCode) override;

private:
    LocalDataOwner* owner_ = nullptr;
    TraceLog* trace_ = nullptr;
    int32_t newConnection_ = 1;
    int32_t matched_ = 0;
};
