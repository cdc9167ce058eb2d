#pragma once

// The side of a local port-forward tunnel that its relay connection hands bytes to:
// what the relay server sends goes on to the local application. Called on the UI
// thread; the bytes are valid only during the call.
class RelayDataOwner
{
public:
    virtual ~RelayDataOwner() = default;
    virtual void OnRelayData(const unsigned char* bytes, int count) = 0;
};
