#pragma once

class CSerialIO;

// What a serial endpoint (ComTransparent) hands its owner, the serial tunnel.
class SerialOwner
{
public:
    virtual ~SerialOwner() = default;

    // Bytes read from the COM port, on the endpoint's reader thread; `data` is valid
    // only during the call, so the owner copies what it keeps. Must not wait for the
    // thread that destroys the endpoint.
    virtual void OnSerialData(const char* data, int count) = 0;
    // Asked on the reader thread before each read of the COM port: false holds the
    // reading back (the port's own buffer then holds the writer back) until a later
    // pass asks again. The base always wants bytes.
    virtual bool SerialReadWanted() { return true; }
    // The endpoint's write queue, which the owner asked to hear of
    // (CSerialIO::NotifyWhenDrained), has drained; on the reader thread. The base
    // does nothing.
    virtual void OnSerialWritable() {}
    // The owner's `endpoint` could not open its port (the port's own message was shown
    // already); on the reader thread. The base does nothing.
    virtual void OnSerialOpenFailed(const CSerialIO& /*endpoint*/) {}
};
