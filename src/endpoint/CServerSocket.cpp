#include "endpoint/CServerSocket.h"

#include "platform/MessageWindow.h"
#include "platform/WindowMessages.h"

CServerSocket::CServerSocket(platform::MessageWindow* acceptWindow, platform::WParam owner)
    : acceptWindow_(acceptWindow), owner_(owner)
{
}

void CServerSocket::OnAccept(int errorCode)
{
    platform::SendWindowMessage(acceptWindow_, WM_LISTENER_ACCEPT, owner_, 0);
    CSocket::OnAccept(errorCode);
}
