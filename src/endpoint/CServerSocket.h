#pragma once

#include "endpoint/CSocket.h"
#include "platform/WinTypes.h"

namespace platform {
class MessageWindow;
} // namespace platform

// The listening socket of the local port-forward tunnel. Each incoming connection
// is announced to the window that hosts the listener (WM_LISTENER_ACCEPT, wParam =
// the owner as it was given, lParam = 0), which accepts it.
class CServerSocket : public CSocket
{
public:
    // `owner` is the tunnel for which it listens, as it travels in window messages.
    CServerSocket(platform::MessageWindow* acceptWindow, platform::WParam owner);

    platform::WParam Owner() const { return owner_; }

protected:
    void OnAccept(int errorCode) override;

private:
    platform::MessageWindow* acceptWindow_ = nullptr;
    platform::WParam owner_ = 0;
};
