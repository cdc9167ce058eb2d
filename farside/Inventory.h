#pragma once

#include "app/JsonPtr.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// The accounts, gateways and devices the far side serves, read from a JSON file:
//   {"accounts":[{"userName","password","orgId","newRoleId","accountsId",
//                 "gateways":[{"gwSn","gwName","nodeName","isOnline",
//                              "devices":[{device fields}]}]}]}
// Members have the types the web service replies with. Only the keys (userName,
// password and the three ids of an account, gwSn, deviceSn) are required; any other
// member that the file leaves out is left out of the replies too, so a client's
// defaults can be exercised against the real service.
//
// Members that only the far side's own services read (never sent by the web service):
//   gateway: "lanIp", "lanMask", "csq" (texts of the gateway state report of the
//            maintenance channel);
//   device:  "returnPath": "tcp" (default) | "mqtt" - how the device's bytes travel
//            back to the PC: over the tunnel's TCP connection, or inside MQTT messages
//            (2980 for serial devices, 2988 for port-forward devices);
//            "fault": "occupied" | "register-refused" | "no-answer" | "far-close" |
//            "relay-unreachable" - a failure the services act out for this device;
//            or "fault": {"silent": bool, "answerDelayMs": n, "dropAfterBytes": n,
//            "occupied": bool} - the fault switches the device starts with (see
//            FaultBoard; the control channel changes them at run time);
//            "simulation": what the simulated device is (read by the simulators from
//            the device's JSON object, which stays available as Device::json).
class Inventory
{
public:
    // The switchable faults of a device (all off by default).
    struct FaultSwitches
    {
        bool silent = false;     // no message about the device goes to a PC (data aside)
        int answerDelayMs = 0;   // each such message leaves this much later
        long dropAfterBytes = 0; // > 0: a tunnel connection is closed after this many bytes
        bool occupied = false;   // bind and relay registrations are answered "occupied"
        int dataDelayMs = 0; // the device's answer bytes reach the PC this much later (control channel only)
    };

    struct Device
    {
        std::string deviceSn;
        std::optional<int> deviceId;
        std::optional<std::string> id;
        std::optional<std::string> deviceName;
        std::optional<std::string> ifaceTypeName;
        std::optional<bool> online;
        std::optional<int> ifaceType;
        std::optional<std::string> ip;
        std::optional<int> port;
        std::optional<std::string> com;
        std::optional<int> baud;
        std::optional<int> databit;
        std::optional<int> parity;
        std::optional<int> stopbit;
        std::optional<int> timeout;
        std::optional<std::string> protocol; // a text holding a decimal number
        std::optional<int> tunType;
        std::optional<int> tunConnectType;

        std::string returnPath = "tcp"; // "tcp" or "mqtt"
        std::string fault;              // empty: none
        FaultSwitches switches;         // from "fault" given as an object
        const cJSON* json = nullptr;    // the device's object in the inventory document
    };

    struct Gateway
    {
        std::string gwSn;
        std::optional<std::string> gwName;
        std::optional<std::string> nodeName;
        std::optional<bool> isOnline;
        std::optional<std::string> lanIp;
        std::optional<std::string> lanMask;
        std::optional<std::string> csq;
        std::vector<Device> devices;

        bool Online() const { return isOnline.value_or(false); }
    };

    struct Account
    {
        std::string userName;
        std::string password;
        int orgId = 0;
        int newRoleId = 0;
        int accountsId = 0;
        std::vector<Gateway> gateways;
    };

    // One member of a device, in the order the device list reply carries them.
    struct DeviceField
    {
        enum Kind
        {
            Integer,     // JSON number with an integer value
            Text,        // JSON string
            NumericText, // JSON string holding a decimal integer
            Boolean      // JSON true or false
        };
        const char* name;
        Kind kind;
        std::optional<int> Device::*integer;
        std::optional<std::string> Device::*text;
        std::optional<bool> Device::*boolean;
    };
    static const std::vector<DeviceField>& DeviceFields();

    // Reads and checks the file. Returns false with a one-line reason naming the
    // offending member (for example accounts[0].gateways[1].devices[2].baud).
    bool Load(const std::string& path, std::string* error);
    // The same from a JSON text; `origin` names it in messages.
    bool Parse(const std::string& json, const std::string& origin, std::string* error);

    const std::vector<Account>& Accounts() const { return accounts_; }
    const Account* FindUser(const std::string& userName) const;
    const Account* FindAccount(int accountsId) const;
    const Gateway* FindGateway(const std::string& gwSn) const;
    const Device* FindDevice(const std::string& gwSn, const std::string& deviceSn) const;

    // The faults a device may name in "fault".
    static const std::vector<std::string>& Faults();

    // The whole inventory document (valid as long as this object or a copy lives).
    const cJSON* Root() const { return root_.get(); }

private:
    std::vector<Account> accounts_;
    JsonPtr root_;
};
