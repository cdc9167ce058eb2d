#include "endpoint/ComTransparent.h"

#include "endpoint/SerialOwner.h"

ComTransparent::ComTransparent(SerialOwner* tunnel) : tunnel_(tunnel) {}

ComTransparent::~ComTransparent()
{
    StopReader();
}

void ComTransparent::OnOpen(int result)
{
    if (result != 1 && tunnel_ != nullptr)
        tunnel_->OnSerialOpenFailed(*this);
}

void ComTransparent::OnClose(int /*result*/) {}

void ComTransparent::OnReceive(const char* data, int length)
{
    if (tunnel_ != nullptr)
        tunnel_->OnSerialData(data, length);
}

void ComTransparent::OnSend(int /*count*/) {}

bool ComTransparent::WantsRead()
{
    return tunnel_ == nullptr || tunnel_->SerialReadWanted();
}

void ComTransparent::OnWritesDrained()
{
    if (tunnel_ != nullptr)
        tunnel_->OnSerialWritable();
}
