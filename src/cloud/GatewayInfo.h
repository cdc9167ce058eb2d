#pragma once

#include <string>

// What the service and the gateway's state report say about a gateway: the part of a
// gateway record that a list entry carries and a kept record is made from.
struct GatewayInfo
{
    std::string gwSn;     // the gateway's serial number, its key everywhere
    std::string isOnline; // "true" when the reply's "isOnline" was the JSON value true, else "false"
    std::string gwName;
    std::string nodeName;
    std::string lanIp;      // from the gateway state report
    std::string lanMask;    // from the gateway state report
    std::string csq = "-1"; // signal value from the gateway state report
    int stateFlag = 0;      // "flag" of the gateway state report

    bool IsOnline() const { return isOnline == "true"; }
};
