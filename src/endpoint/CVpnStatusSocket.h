#pragma once

#include "endpoint/CSocket.h"

namespace platform {
class MessageWindow;
} // namespace platform

// The connection to the VPN client's management interface. StartReports asks the
// client for state reports; every report line then becomes a link-up or link-down
// message to the notify window.
class CVpnStatusSocket : public CSocket
{
public:
    CVpnStatusSocket() = default;

    // Remembers `notifyWindow` and sends the 9 bytes "state on\n".
    void StartReports(platform::MessageWindow* notifyWindow);

    platform::MessageWindow* NotifyWindow() const { return notifyWindow_; }

    static constexpr int ChunkSize = 1024;
    static constexpr const char* ManagementHost = "127.0.0.1";
    static constexpr uint16_t ManagementPort = 25341;

protected:
    void OnReceive(int errorCode) override;

private:
    platform::MessageWindow* notifyWindow_ = nullptr;
};
