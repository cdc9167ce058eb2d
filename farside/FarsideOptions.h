#pragma once

#include <string>
#include <vector>

// The command line of lumetra-farside:
//   lumetra-farside --platconf FILE --inventory FILE [--web-only] [--keepalive SECONDS]
//                   [--no-vpn-server] [--vpn-ca FILE] [--control PORT]
// Options with a value take it as the next argument or after '=' (--platconf=FILE).
// Further services add their flags to the option table in FarsideOptions.cpp.
class FarsideOptions
{
public:
    std::string platconfPath;  // the installation's custom resource file (endpoints, credentials)
    std::string inventoryPath; // accounts, gateways and devices served by the web service
    bool webOnly = false;      // run the web service alone (no broker, no TCP servers)
    int keepaliveSeconds = 30; // period of the keep-alives 2997 and state reports 98; 0: none
    bool noVpnServer = false;  // never start the OpenVPN server; announce the platconf's
    std::string vpnCaCopy;     // where the VPN server's CA certificate is also written
    int controlPort = -1;      // the control channel's port on 127.0.0.1 (0: any); -1: none
    bool help = false;         // --help: print the usage and exit
    bool version = false;      // --version: print the version and exit

    // Parses the arguments after the program name. Returns false with a one-line
    // reason in `error` for an unknown option, a missing value or a missing required
    // option; with --help or --version the required options are not checked.
    bool Parse(const std::vector<std::string>& args, std::string* error);

    static std::string Usage();
};
