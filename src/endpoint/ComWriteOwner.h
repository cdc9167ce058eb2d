#pragma once

// The side of a serial tunnel that a relay socket writes into: bytes that arrive
// from the relay server go to the tunnel's COM port. Called on the UI thread; the
// bytes are valid only during the call.
class ComWriteOwner
{
public:
    virtual ~ComWriteOwner() = default;
    virtual void WriteToCom(const unsigned char* bytes, int count) = 0;
};
