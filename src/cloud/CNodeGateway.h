#pragma once

#include <string>
#include <vector>

class CNodeDevice;
class CVPNDataTunnel;

// A gateway of the account, with the run-time state of its maintenance channel.
class CNodeGateway
{
public:
    std::string gwSn;     // the gateway's serial number, its key everywhere
    std::string isOnline; // "true" when the reply's "isOnline" was the JSON value true, else "false"
    std::string gwName;
    std::string nodeName;
    std::string lanIp;      // from the gateway state report
    std::string lanMask;    // from the gateway state report
    std::string csq = "-1"; // signal value from the gateway state report
    int stateFlag = 0;      // "flag" of the gateway state report

    // Run-time channel fields.
    int vpnPort = 0;
    int linkUp = 0;
    int channelRequested = 0;
    int channelActive = 0;
    CVPNDataTunnel* vpnTunnel = nullptr;

    std::vector<CNodeDevice*> devices; // filled from the device list reply

    bool IsOnline() const { return isOnline == "true"; }
};
