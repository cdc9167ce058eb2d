#pragma once

#include "endpoint/CSocket.h"

#include <functional>

class LocalListenerOwner;

// The listening socket of the local port-forward tunnel. Each incoming connection
// is announced to the one who hosts the listener (`onAccept`, on the UI thread),
// which accepts it.
class CServerSocket : public CSocket
{
public:
    // `owner` is the tunnel for which it listens (not owned).
    CServerSocket(LocalListenerOwner* owner, std::function<void()> onAccept);

    LocalListenerOwner* Owner() const { return owner_; }

protected:
    void OnAccept(int errorCode) override;

private:
    LocalListenerOwner* owner_ = nullptr;
    std::function<void()> onAccept_;
};
