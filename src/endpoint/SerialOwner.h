#pragma once

// What a serial endpoint (ComTransparent) hands its owner, the serial tunnel.
class SerialOwner
{
public:
    virtual ~SerialOwner() = default;

    // Bytes read from the COM port, on the endpoint's reader thread; `data` is valid
    // only during the call, so the owner copies what it keeps. Must not wait for the
    // thread that destroys the endpoint.
    virtual void OnSerialData(const char* data, int count) = 0;
};
