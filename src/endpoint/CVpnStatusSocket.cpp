#include "endpoint/CVpnStatusSocket.h"

#include "endpoint/VpnStateParser.h"

namespace {
constexpr char kStateOn[] = "state on\n";
}

void CVpnStatusSocket::StartReports(platform::MessageWindow* notifyWindow)
{
    notifyWindow_ = notifyWindow;
    Send(kStateOn, sizeof kStateOn - 1, 0);
}

void CVpnStatusSocket::OnReceive(int)
{
    char buffer[ChunkSize + 1] = {};
    const int count = Receive(buffer, ChunkSize, 0);
    if (count >= 1) {
        VpnStateParser::Feed(buffer, static_cast<size_t>(count), notifyWindow_);
    }
}
