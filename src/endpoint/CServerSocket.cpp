#include "endpoint/CServerSocket.h"

CServerSocket::CServerSocket(LocalListenerOwner* owner, std::function<void()> onAccept)
    : owner_(owner), onAccept_(std::move(onAccept))
{
}

void CServerSocket::OnAccept(int errorCode)
{
    if (onAccept_) {
        onAccept_();
    }
    CSocket::OnAccept(errorCode);
}
