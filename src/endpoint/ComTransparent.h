#pragma once

#include "endpoint/CSerialIO.h"

class SerialOwner;

// The serial endpoint of a serial tunnel: received bytes go to the tunnel's
// OnSerialData, a failed open to its OnSerialOpenFailed; the other open, close and
// send outcomes are silent.
class ComTransparent : public CSerialIO
{
public:
    // `tunnel` is not owned and may be null (then received bytes are dropped).
    explicit ComTransparent(SerialOwner* tunnel);
    ~ComTransparent() override;

    SerialOwner* Tunnel() const { return tunnel_; }

protected:
    void OnOpen(int result) override;
    void OnClose(int result) override;
    void OnReceive(const char* data, int length) override;
    void OnSend(int count) override;
    bool WantsRead() override;
    void OnWritesDrained() override;

private:
    SerialOwner* const tunnel_;
};
