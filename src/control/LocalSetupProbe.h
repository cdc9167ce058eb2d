#pragma once

#include "control/PreflightResult.h"

#include <cstdint>
#include <string>

// The local part of the pre-flight check: what the serial tunnel, the maintenance
// channel and the port-forward tunnels need of this machine. Each runs on the calling
// thread within the time given.
class LocalSetupProbe
{
public:
    // The virtual COM folder exists as a folder this user may write, or can be made.
    static PreflightResult VirtualComFolder();
    // The pair tool is installed (the program folder or /usr/lib/lumetra/) and
    // "lumetra-vcom list" ends with status 0.
    static PreflightResult VirtualComTool(int timeoutMs);
    // The OpenVPN client the program starts ("openvpn" on PATH) runs ("--version"), and
    // this user may start it so that it can make its tunnel device (root, or the
    // program carries file capabilities).
    static PreflightResult OpenVpn(int timeoutMs);
    // A listener can be made on `address`:`port`; when another program holds the port
    // it is named where the system tells.
    static PreflightResult LocalPort(const std::string& address, uint16_t port);
};
