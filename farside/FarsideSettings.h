#pragma once

#include <memory>
#include <string>
#include <vector>

struct _Resource_Info;

// The installation data the far side shares with the client: the same custom
// resource file (platconf), so both agree on addresses, ports and credentials.
class FarsideSettings
{
public:
    FarsideSettings();
    ~FarsideSettings();
    FarsideSettings(const FarsideSettings&) = delete;
    FarsideSettings& operator=(const FarsideSettings&) = delete;

    // Reads and checks the file. Returns false with a one-line reason when the file
    // cannot be read, is damaged, or lacks a valid "wsh"/"wsp" entry.
    bool Load(const std::string& path, std::string* error);

    std::string webHost; // "wsh"
    int webPort = 0;     // "wsp"

    // Reads the entries of the broker services and TCP servers (below). False with a
    // one-line reason when one is missing or not valid.
    bool LoadServices(std::string* error);

    std::string brokerHost;       // "bh"
    int brokerPort = 0;           // "bp"
    std::string brokerUser;       // "busername"
    std::string brokerPassword;   // "bpassword"
    std::string portTransferHost; // "port_transfer_host"
    int portTransferPort = 0;     // "port_transfer_port"
    std::string relayHost;        // "relay_host", else the port-transfer host
    int relayPort = 15000;        // "relay_port", else 15000
    std::string vpnHost;          // "vpn_host", else 127.0.0.1 (announced when no VPN server runs)
    int vpnPort = 1194;           // "vpn_port", else 1194

    // Text of an entry, or `fallback` when absent.
    std::string Text(const char* name, const std::string& fallback = std::string()) const;
    bool Has(const char* name) const;
    // A decimal port number 1..65535 from an entry; false with a reason otherwise.
    bool Port(const char* name, int* port, std::string* error) const;

private:
    const _Resource_Info* Find(const char* name) const;

    std::string path_;
    std::vector<std::unique_ptr<_Resource_Info>> entries_;
};
