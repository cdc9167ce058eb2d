#pragma once

#include <string>

struct cJSON;

// The maintenance channel's reply (cmdId 100) as the VPN tunnel consumes it. Texts
// start empty and numbers 0; a member that is absent (or of the wrong kind) leaves
// its field unchanged.
struct VpnInfoRecord
{
    std::string gwSn;        // "gwSn"
    std::string userName;    // "userName"
    std::string password;    // "passwd"
    std::string vpnServerIp; // "vpnserverIp"
    std::string pcId;        // "pcId"
    int isSwitchOn = 0;      // "isSwitchOn"
    int vpnPort = 0;         // "vpnport"
    int busiCode = 0;        // "busiCode"
    int flag = 0;            // "flag"
    std::string msg;         // "msg"

    // Reads the members in the order "gwSn", "vpnserverIp", "busiCode", "pcId",
    // "vpnport", "userName", "passwd", "isSwitchOn", "flag", "msg".
    void ReadFrom(const cJSON* message);

    // True when a granted channel's members can go into the VPN client's profile and
    // credentials files: "vpnserverIp" an address or host name, "vpnport" 1..65535,
    // "userName" one line of clean UTF-8 (InputRules). Otherwise false, with the
    // reason for a diagnostic line in `why`.
    bool CheckGrant(std::string* why) const;
};
