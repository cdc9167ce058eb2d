#pragma once

#include <QString>

struct _virtual_com_pair;

// A device behind a gateway (a heap record made from the device list reply), with
// the run-time state its tunnel adds (the tunnel itself is kept in the tunnel
// layer's TunnelTable).
class CNodeDevice
{
public:
    int deviceId = 0;
    QString id;
    QString deviceName;
    QString deviceSn; // the device's key in tunnel messages
    QString ifaceTypeName;
    int ifaceType = 0; // 1 or 2: a serial interface
    int protocol = 0;  // device type code choosing the local port of a port-forward tunnel
    QString ip;
    int port = 0;
    QString com; // the gateway-side serial port name
    _virtual_com_pair* virtualComPair = nullptr;
    int localComNumber = -1; // the COM number of the pair end the program opens, -1 when none
    int tunType = 0;         // 1 local port forwarding, 2 serial
    int tunConnectType = 0;
    int baud = 0;
    int databit = 0;
    int parity = 0; // 0 none, 1 odd, anything else even
    int stopbit = 0;
    int timeout = 0;
    int online = 0;

    // Run-time fields.
    int tunnelOpen = 0;
    QString rowTexts[6];
    int rowIndex = 0;

    // 'N', 'O' or 'E'.
    char ParityLetter() const;
    bool IsSerialInterface() const { return ifaceType == 1 || ifaceType == 2; }
    bool IsTunnelCapable() const { return tunType == 1 || tunType == 2; }
    bool HasVirtualComPair() const { return virtualComPair != nullptr; }
    // The COM number of the user end of the virtual COM pair (a "CNCB" end), or -1.
    int UserComNumber() const;
    // "COM<k>,baud,databit,parity,stopbit" for a serial device (k is '#' without a
    // virtual COM pair), the ip text for any other device.
    QString AddressText() const;
};
