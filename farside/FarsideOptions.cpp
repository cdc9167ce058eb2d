#include "FarsideOptions.h"

#include <functional>

namespace {

struct Option
{
    const char* name;
    bool takesValue;
    std::function<void(FarsideOptions&, const std::string&)> apply;
    const char* help;
};

const std::vector<Option>& OptionTable()
{
    static const std::vector<Option> table = {
        {"--platconf", true, [](FarsideOptions& o, const std::string& v) { o.platconfPath = v; },
         "custom resource file giving the service endpoints (entries \"wsh\", \"wsp\", ...)"},
        {"--inventory", true, [](FarsideOptions& o, const std::string& v) { o.inventoryPath = v; },
         "JSON file with the accounts, their gateways and devices"},
        {"--web-only", false, [](FarsideOptions& o, const std::string&) { o.webOnly = true; },
         "run only the web service"},
        {"--help", false, [](FarsideOptions& o, const std::string&) { o.help = true; }, "print this help"},
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
        if (option->takesValue) {
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
        } else if (inlineValue) {
            *error = "option " + arg + " takes no value";
            return false;
        }
        option->apply(*this, value);
    }
    if (help)
        return true;
    if (platconfPath.empty()) {
        *error = "missing --platconf FILE";
        return false;
    }
    if (inventoryPath.empty()) {
        *error = "missing --inventory FILE";
        return false;
    }
    return true;
}

std::string FarsideOptions::Usage()
{
    std::string text = "usage: lumetra-farside --platconf FILE --inventory FILE [--web-only]\n"
                       "The local far side of the Lumetra client: the cloud web service on the\n"
                       "address of the entries \"wsh\" and \"wsp\" (HTTPS on ports 443, 8443, 10443).\n"
                       "Options:\n";
    for (const Option& option : OptionTable()) {
        std::string left = std::string("  ") + option.name + (option.takesValue ? " FILE" : "");
        left.resize(22, ' ');
        text += left + option.help + "\n";
    }
    return text;
}
