#include "FarsideOptions.h"

#include "FaultCommands.h"

#include <functional>

namespace {

struct Option
{
    const char* name;
    const char* valueName; // null: the option takes no value
    std::function<void(FarsideOptions&, const std::string&)> apply;
    const char* help;
};

const std::vector<Option>& OptionTable()
{
    static const std::vector<Option> table = {
        {"--platconf", "FILE", [](FarsideOptions& o, const std::string& v) { o.platconfPath = v; },
         "custom resource file giving the service endpoints (entries \"wsh\", \"wsp\", ...)"},
        {"--inventory", "FILE", [](FarsideOptions& o, const std::string& v) { o.inventoryPath = v; },
         "JSON file with the accounts, their gateways and devices"},
        {"--web-only", nullptr, [](FarsideOptions& o, const std::string&) { o.webOnly = true; },
         "run only the web service (no broker client, no TCP servers)"},
        {"--keepalive", "SECONDS",
         [](FarsideOptions& o, const std::string& v) { o.keepaliveSeconds = std::stoi(v); },
         "period of the keep-alives to PCs holding a device (0: none; default 30)"},
        {"--no-vpn-server", nullptr, [](FarsideOptions& o, const std::string&) { o.noVpnServer = true; },
         "do not run an OpenVPN server; hand out \"vpn_host\"/\"vpn_port\" of the platconf"},
        {"--vpn-ca", "FILE", [](FarsideOptions& o, const std::string& v) { o.vpnCaCopy = v; },
         "also write the VPN server's CA certificate to FILE (a client's lumetra/ca.crt)"},
        {"--control", "PORT", [](FarsideOptions& o, const std::string& v) { o.controlPort = std::stoi(v); },
         "line-based control channel on 127.0.0.1:PORT (0: any free port) to switch faults"},
        {"--help", nullptr, [](FarsideOptions& o, const std::string&) { o.help = true; }, "print this help"},
        {"--version", nullptr, [](FarsideOptions& o, const std::string&) { o.version = true; },
         "print the version"},
    };
    return table;
}

} // namespace

bool FarsideOptions::Parse(const std::vector<std::string>& args, std::string* error)
{
    std::vector<std::string> seen;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::string value;
        bool inlineValue = false;
        size_t eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            inlineValue = true;
        }
        const Option* option = nullptr;
        for (const Option& candidate : OptionTable()) {
            if (arg == candidate.name)
                option = &candidate;
        }
        if (!option) {
            *error = args[i].rfind("-", 0) == 0 ? "unknown option " + args[i]
                                                : "unexpected argument \"" + args[i] + "\"";
            return false;
        }
        for (const std::string& name : seen) {
            if (name == arg) {
                *error = "option " + arg + " given more than once";
                return false;
            }
        }
        seen.push_back(arg);
        if (option->valueName) {
            if (!inlineValue) {
                if (i + 1 >= args.size()) {
                    *error = "option " + arg + " needs a value";
                    return false;
                }
                value = args[++i];
            }
            if (value.empty()) {
                *error = "option " + arg + " needs a non-empty value";
                return false;
            }
            if (arg == "--keepalive" &&
                (value.size() > 5 || value.find_first_not_of("0123456789") != std::string::npos)) {
                *error = "option --keepalive needs a number of seconds, got \"" + value + "\"";
                return false;
            }
            if (arg == "--control" &&
                (value.size() > 5 || value.find_first_not_of("0123456789") != std::string::npos ||
                 std::stol(value) > 65535)) {
                *error = "option --control needs a port number, got \"" + value + "\"";
                return false;
            }
        } else if (inlineValue) {
            *error = "option " + arg + " takes no value";
            return false;
        }
        option->apply(*this, value);
    }
    if (help || version)
        return true;
    if (platconfPath.empty()) {
        *error = "missing --platconf FILE";
        return false;
    }
    if (inventoryPath.empty()) {
        *error = "missing --inventory FILE";
        return false;
    }
    if (webOnly && controlPort >= 0) {
        *error = "option --control switches faults of the broker services, which --web-only does not run";
        return false;
    }
    return true;
}

std::string FarsideOptions::Usage()
{
    std::string text =
        "usage: lumetra-farside --platconf FILE --inventory FILE [--web-only] [--keepalive SECONDS]\n"
        "                       [--no-vpn-server] [--vpn-ca FILE] [--control PORT]\n"
        "The local far side of the Lumetra client: the cloud web service on the\n"
        "address of the entries \"wsh\" and \"wsp\" (HTTPS on ports 443, 8443, 10443);\n"
        "the binder, gateway and VPN services on the broker of \"bh\", \"bp\", \"busername\",\n"
        "\"bpassword\"; the port-transfer server (\"port_transfer_host\", \"port_transfer_port\")\n"
        "and the relay server (\"relay_host\", \"relay_port\", default 15000); the simulated\n"
        "devices of the inventory and, where the machine allows, an OpenVPN server.\n"
        "Options:\n";
    for (const Option& option : OptionTable()) {
        std::string left =
            std::string("  ") + option.name + (option.valueName ? std::string(" ") + option.valueName : "");
        left.resize(26, ' ');
        text += left + option.help + "\n";
    }
    text += "Control channel commands (one line each; answer \"ok\" or \"error: <reason>\"):\n" +
            FaultCommands::Summary();
    return text;
}
