#pragma once

// The tunnel side that a relay connection (RelaySocket) hands the relay's bytes to:
// the local port-forward tunnel passes them on to the local application, the serial
// tunnel writes them to its COM port. Called on the UI thread; the bytes are valid
// only during the call.
class RelayDataOwner
{
public:
    virtual ~RelayDataOwner() = default;
    virtual void OnRelayData(const unsigned char* bytes, int count) = 0;
    // The relay connection was backlogged (CSocket::IsWriteBacklogged) and has room
    // again, or was lost. The base does nothing.
    virtual void OnRelayWritable() {}
    // The relay ended the connection (or it broke). The owner must not destroy the
    // connection inside this call. Base: nothing.
    virtual void OnRelayClosed() {}
};
