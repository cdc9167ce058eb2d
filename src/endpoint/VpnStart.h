#pragma once

#include <string>

// How a start of the VPN client went: started or not, and when the VPN service
// refused it, the service's reason (shown to the user).
struct VpnStart
{
    // Started or not, without a reason (the client started by this program).
    VpnStart(bool wasStarted) : started(wasStarted) {} // NOLINT: implicit on purpose
    static VpnStart Refused(const std::string& reason)
    {
        VpnStart start(false);
        start.refusal = reason;
        return start;
    }

    explicit operator bool() const { return started; }

    bool started = false;
    std::string refusal;
};
