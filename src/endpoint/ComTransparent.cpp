#include "endpoint/ComTransparent.h"

#include "endpoint/SerialOwner.h"

ComTransparent::ComTransparent(SerialOwner* tunnel) : m_tunnel(tunnel) {}

ComTransparent::~ComTransparent()
{
    StopReader();
}

void ComTransparent::OnOpen(int /*result*/) {}

void ComTransparent::OnClose(int /*result*/) {}

void ComTransparent::OnReceive(const char* data, int length)
{
    if (m_tunnel != nullptr)
        m_tunnel->OnSerialData(data, length);
}

void ComTransparent::OnSend(int /*count*/) {}
