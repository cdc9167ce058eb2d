#include "Inventory.h"

#include <cjson/cJSON.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>

namespace {

// Reads the members of one JSON object, naming each one by its path in messages.
class MemberReader
{
public:
    MemberReader(const cJSON* object, std::string where, std::string* error)
        : object_(object), where_(std::move(where)), error_(error)
    {
    }

    // Every member must be one of `allowed`, and no member may appear twice.
    bool CheckMembers(const std::vector<const char*>& allowed)
    {
        if (!cJSON_IsObject(object_))
            return Fail(where_, "expected an object");
        std::set<std::string> seen;
        for (const cJSON* item = object_->child; item; item = item->next) {
            std::string name = item->string ? item->string : "";
            bool known = false;
            for (const char* candidate : allowed)
                known = known || name == candidate;
            if (!known)
                return Fail(Path(name.c_str()), "unknown member");
            if (!seen.insert(name).second)
                return Fail(Path(name.c_str()), "member given more than once");
        }
        return true;
    }

    bool Text(const char* name, bool required, std::optional<std::string>* out)
    {
        const cJSON* item = Item(name, required);
        if (!item)
            return !required;
        if (!cJSON_IsString(item))
            return Fail(Path(name), "expected a string");
        *out = item->valuestring;
        return true;
    }

    bool RequiredText(const char* name, std::string* out)
    {
        std::optional<std::string> value;
        if (!Text(name, true, &value))
            return false;
        if (value->empty())
            return Fail(Path(name), "must not be empty");
        *out = *value;
        return true;
    }

    bool NumericText(const char* name, std::optional<std::string>* out)
    {
        if (!Text(name, false, out))
            return false;
        if (!*out)
            return true;
        const std::string& text = **out;
        size_t start = !text.empty() && text[0] == '-' ? 1 : 0;
        bool ok = text.size() > start && text.size() - start <= 9;
        for (size_t i = start; i < text.size(); ++i)
            ok = ok && text[i] >= '0' && text[i] <= '9';
        if (!ok)
            return Fail(Path(name), "expected a string holding a decimal number, got \"" + text + "\"");
        return true;
    }

    bool Integer(const char* name, bool required, std::optional<int>* out)
    {
        const cJSON* item = Item(name, required);
        if (!item)
            return !required;
        double value = item->valuedouble;
        if (!cJSON_IsNumber(item) || std::floor(value) != value || value < INT_MIN || value > INT_MAX)
            return Fail(Path(name), "expected an integer number");
        *out = static_cast<int>(value);
        return true;
    }

    bool RequiredInteger(const char* name, int* out)
    {
        std::optional<int> value;
        if (!Integer(name, true, &value))
            return false;
        *out = *value;
        return true;
    }

    bool Boolean(const char* name, std::optional<bool>* out)
    {
        const cJSON* item = Item(name, false);
        if (!item)
            return true;
        if (!cJSON_IsBool(item))
            return Fail(Path(name), "expected true or false");
        *out = cJSON_IsTrue(item);
        return true;
    }

    // An optional array member; `*array` is null when absent.
    bool Array(const char* name, const cJSON** array)
    {
        *array = cJSON_GetObjectItemCaseSensitive(object_, name);
        if (*array && !cJSON_IsArray(*array))
            return Fail(Path(name), "expected an array");
        return true;
    }

    std::string Path(const char* name) const { return where_.empty() ? name : where_ + "." + name; }

    bool Fail(const std::string& path, const std::string& why)
    {
        *error_ = (path.empty() ? std::string("top level") : path) + ": " + why;
        return false;
    }

private:
    const cJSON* Item(const char* name, bool required)
    {
        const cJSON* item = cJSON_GetObjectItemCaseSensitive(object_, name);
        if (!item && required)
            Fail(Path(name), "missing");
        return item;
    }

    const cJSON* object_;
    std::string where_;
    std::string* error_;
};

std::string Indexed(const std::string& where, const char* name, int index)
{
    return (where.empty() ? std::string(name) : where + "." + name) + "[" + std::to_string(index) + "]";
}

bool ReadFaultSwitches(const cJSON* json, const std::string& where, Inventory::Device* device,
                       std::string* error)
{
    MemberReader reader(json, where, error);
    std::optional<bool> silent, occupied;
    std::optional<int> delay, drop;
    if (!reader.CheckMembers({"silent", "answerDelayMs", "dropAfterBytes", "occupied"}) ||
        !reader.Boolean("silent", &silent) || !reader.Boolean("occupied", &occupied) ||
        !reader.Integer("answerDelayMs", false, &delay) || !reader.Integer("dropAfterBytes", false, &drop))
        return false;
    if (delay && (*delay < 0 || *delay > 600000))
        return reader.Fail(reader.Path("answerDelayMs"), "expected 0..600000");
    if (drop && *drop < 0)
        return reader.Fail(reader.Path("dropAfterBytes"), "expected 0 or more");
    Inventory::FaultSwitches& switches = device->switches;
    switches.silent = silent.value_or(false);
    switches.occupied = occupied.value_or(false);
    switches.answerDelayMs = delay.value_or(0);
    switches.dropAfterBytes = drop.value_or(0);
    return true;
}

bool ReadDevice(const cJSON* json, const std::string& where, Inventory::Device* device, std::string* error)
{
    MemberReader reader(json, where, error);
    std::vector<const char*> allowed = {"returnPath", "fault", "simulation"};
    for (const Inventory::DeviceField& field : Inventory::DeviceFields())
        allowed.push_back(field.name);
    if (!reader.CheckMembers(allowed))
        return false;
    device->json = json;
    std::optional<std::string> returnPath, fault;
    const cJSON* faultItem = cJSON_GetObjectItemCaseSensitive(json, "fault");
    if (cJSON_IsObject(faultItem) && !ReadFaultSwitches(faultItem, reader.Path("fault"), device, error))
        return false;
    if (!reader.Text("returnPath", false, &returnPath) ||
        (!cJSON_IsObject(faultItem) && !reader.Text("fault", false, &fault)))
        return false;
    if (returnPath && *returnPath != "tcp" && *returnPath != "mqtt")
        return reader.Fail(reader.Path("returnPath"),
                           "expected \"tcp\" or \"mqtt\", got \"" + *returnPath + "\"");
    device->returnPath = returnPath.value_or("tcp");
    if (fault) {
        std::string known;
        for (const std::string& name : Inventory::Faults())
            known += (known.empty() ? "\"" : ", \"") + name + "\"";
        bool found = false;
        for (const std::string& name : Inventory::Faults())
            found = found || *fault == name;
        if (!found)
            return reader.Fail(reader.Path("fault"),
                               "unknown fault \"" + *fault + "\" (known: " + known + ")");
        device->fault = *fault;
    }
    for (const Inventory::DeviceField& field : Inventory::DeviceFields()) {
        if (!field.integer && !field.text && !field.boolean)
            continue; // the key, read below
        bool ok = true;
        switch (field.kind) {
        case Inventory::DeviceField::Integer:
            ok = reader.Integer(field.name, false, &(device->*field.integer));
            break;
        case Inventory::DeviceField::Text:
            ok = reader.Text(field.name, false, &(device->*field.text));
            break;
        case Inventory::DeviceField::NumericText:
            ok = reader.NumericText(field.name, &(device->*field.text));
            break;
        case Inventory::DeviceField::Boolean:
            ok = reader.Boolean(field.name, &(device->*field.boolean));
            break;
        }
        if (!ok)
            return false;
    }
    // deviceSn is the device's key in every tunnel message.
    std::optional<std::string> sn;
    if (!reader.Text("deviceSn", true, &sn))
        return false;
    if (sn->empty())
        return reader.Fail(reader.Path("deviceSn"), "must not be empty");
    device->deviceSn = *sn;
    return true;
}

bool ReadGateway(const cJSON* json, const std::string& where, Inventory::Gateway* gateway, std::string* error)
{
    MemberReader reader(json, where, error);
    const cJSON* devices = nullptr;
    if (!reader.CheckMembers(
            {"gwSn", "gwName", "nodeName", "isOnline", "lanIp", "lanMask", "csq", "devices"}) ||
        !reader.RequiredText("gwSn", &gateway->gwSn) || !reader.Text("gwName", false, &gateway->gwName) ||
        !reader.Text("nodeName", false, &gateway->nodeName) ||
        !reader.Text("lanIp", false, &gateway->lanIp) || !reader.Text("lanMask", false, &gateway->lanMask) ||
        !reader.Text("csq", false, &gateway->csq) || !reader.Boolean("isOnline", &gateway->isOnline) ||
        !reader.Array("devices", &devices))
        return false;
    std::set<std::string> serials;
    for (int i = 0; i < cJSON_GetArraySize(devices); ++i) {
        Inventory::Device device;
        std::string path = Indexed(where, "devices", i);
        if (!ReadDevice(cJSON_GetArrayItem(devices, i), path, &device, error))
            return false;
        if (!serials.insert(device.deviceSn).second) {
            *error = path + ".deviceSn: \"" + device.deviceSn + "\" appears twice in this gateway";
            return false;
        }
        gateway->devices.push_back(device);
    }
    return true;
}

bool ReadAccount(const cJSON* json, const std::string& where, Inventory::Account* account, std::string* error)
{
    MemberReader reader(json, where, error);
    const cJSON* gateways = nullptr;
    if (!reader.CheckMembers({"userName", "password", "orgId", "newRoleId", "accountsId", "gateways"}) ||
        !reader.RequiredText("userName", &account->userName))
        return false;
    std::optional<std::string> password;
    if (!reader.Text("password", true, &password))
        return false;
    account->password = *password;
    if (!reader.RequiredInteger("orgId", &account->orgId) ||
        !reader.RequiredInteger("newRoleId", &account->newRoleId) ||
        !reader.RequiredInteger("accountsId", &account->accountsId) || !reader.Array("gateways", &gateways))
        return false;
    for (int i = 0; i < cJSON_GetArraySize(gateways); ++i) {
        Inventory::Gateway gateway;
        if (!ReadGateway(cJSON_GetArrayItem(gateways, i), Indexed(where, "gateways", i), &gateway, error))
            return false;
        account->gateways.push_back(gateway);
    }
    return true;
}

// 1-based line and column of `at` in `text`.
std::string Position(const std::string& text, const char* at)
{
    if (!at || at < text.c_str() || at > text.c_str() + text.size())
        return "";
    size_t offset = static_cast<size_t>(at - text.c_str());
    size_t line = 1, column = 1;
    for (size_t i = 0; i < offset; ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return " at line " + std::to_string(line) + ", column " + std::to_string(column);
}

} // namespace

const std::vector<Inventory::DeviceField>& Inventory::DeviceFields()
{
    using F = DeviceField;
    static const std::vector<DeviceField> fields = {
        {"deviceId", F::Integer, &Device::deviceId, nullptr, nullptr},
        {"id", F::Text, nullptr, &Device::id, nullptr},
        {"deviceName", F::Text, nullptr, &Device::deviceName, nullptr},
        {"deviceSn", F::Text, nullptr, nullptr, nullptr}, // the key, held in Device::deviceSn
        {"ifaceTypeName", F::Text, nullptr, &Device::ifaceTypeName, nullptr},
        {"online", F::Boolean, nullptr, nullptr, &Device::online},
        {"ifaceType", F::Integer, &Device::ifaceType, nullptr, nullptr},
        {"ip", F::Text, nullptr, &Device::ip, nullptr},
        {"port", F::Integer, &Device::port, nullptr, nullptr},
        {"com", F::Text, nullptr, &Device::com, nullptr},
        {"baud", F::Integer, &Device::baud, nullptr, nullptr},
        {"databit", F::Integer, &Device::databit, nullptr, nullptr},
        {"parity", F::Integer, &Device::parity, nullptr, nullptr},
        {"stopbit", F::Integer, &Device::stopbit, nullptr, nullptr},
        {"timeout", F::Integer, &Device::timeout, nullptr, nullptr},
        {"protocol", F::NumericText, nullptr, &Device::protocol, nullptr},
        {"tunType", F::Integer, &Device::tunType, nullptr, nullptr},
        {"tunConnectType", F::Integer, &Device::tunConnectType, nullptr, nullptr},
    };
    return fields;
}

bool Inventory::Load(const std::string& path, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot read inventory file " + path + ": " + std::strerror(errno);
        return false;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return Parse(text, "inventory file " + path, error);
}

bool Inventory::Parse(const std::string& json, const std::string& origin, std::string* error)
{
    accounts_.clear();
    root_.reset();
    const char* end = nullptr;
    JsonPtr root(cJSON_ParseWithOpts(json.c_str(), &end, true));
    if (!root || end != json.c_str() + json.size()) {
        *error = origin + " is not valid JSON" + Position(json, end);
        return false;
    }
    std::string reason;
    MemberReader reader(root.get(), "", &reason);
    const cJSON* accounts = nullptr;
    if (!reader.CheckMembers({"accounts"}) || !reader.Array("accounts", &accounts)) {
        *error = origin + ": " + reason;
        return false;
    }
    if (!accounts) {
        *error = origin + ": accounts: missing";
        return false;
    }
    std::set<std::string> users, gateways;
    std::set<int> ids;
    for (int i = 0; i < cJSON_GetArraySize(accounts); ++i) {
        Account account;
        std::string where = Indexed("", "accounts", i);
        if (!ReadAccount(cJSON_GetArrayItem(accounts, i), where, &account, &reason)) {
            *error = origin + ": " + reason;
            return false;
        }
        if (!users.insert(account.userName).second) {
            *error = origin + ": " + where + ".userName: \"" + account.userName + "\" appears twice";
            return false;
        }
        if (!ids.insert(account.accountsId).second) {
            *error = origin + ": " + where + ".accountsId: " + std::to_string(account.accountsId) +
                     " appears twice";
            return false;
        }
        for (size_t g = 0; g < account.gateways.size(); ++g) {
            const std::string& sn = account.gateways[g].gwSn;
            if (!gateways.insert(sn).second) {
                *error = origin + ": " + Indexed(where, "gateways", static_cast<int>(g)) + ".gwSn: \"" + sn +
                         "\" appears twice";
                return false;
            }
        }
        accounts_.push_back(account);
    }
    root_ = std::move(root);
    return true;
}

const Inventory::Account* Inventory::FindUser(const std::string& userName) const
{
    for (const Account& account : accounts_) {
        if (account.userName == userName)
            return &account;
    }
    return nullptr;
}

const Inventory::Account* Inventory::FindAccount(int accountsId) const
{
    for (const Account& account : accounts_) {
        if (account.accountsId == accountsId)
            return &account;
    }
    return nullptr;
}

const Inventory::Gateway* Inventory::FindGateway(const std::string& gwSn) const
{
    for (const Account& account : accounts_) {
        for (const Gateway& gateway : account.gateways) {
            if (gateway.gwSn == gwSn)
                return &gateway;
        }
    }
    return nullptr;
}

const Inventory::Device* Inventory::FindDevice(const std::string& gwSn, const std::string& deviceSn) const
{
    const Gateway* gateway = FindGateway(gwSn);
    if (!gateway)
        return nullptr;
    for (const Device& device : gateway->devices) {
        if (device.deviceSn == deviceSn)
            return &device;
    }
    return nullptr;
}

const std::vector<std::string>& Inventory::Faults()
{
    static const std::vector<std::string> faults = {"occupied", "register-refused", "no-answer", "far-close",
                                                    "relay-unreachable"};
    return faults;
}
