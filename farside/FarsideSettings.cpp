#include "FarsideSettings.h"

#include "app/CustomResourceTable.h"
#include "platform/BoundedFile.h"

#include <QFile>

FarsideSettings::FarsideSettings() = default;
FarsideSettings::~FarsideSettings() = default;

bool FarsideSettings::Load(const std::string& path, std::string* error)
{
    path_ = path;
    QByteArray image;
    std::string why;
    if (platform::BoundedFile::Read(QFile::decodeName(path.c_str()), kCustomResourceFileLimit, &image,
                                    &why) != platform::BoundedFile::Result::Read) {
        *error = "cannot read platconf file " + path + ": " + why;
        return false;
    }
    std::string parseError;
    if (!ParseCustomResources(reinterpret_cast<const uint8_t*>(image.constData()),
                              static_cast<size_t>(image.size()), entries_, &parseError)) {
        *error = "platconf file " + path + " is damaged: " + parseError;
        return false;
    }
    webHost = Text("wsh");
    if (webHost.empty()) {
        *error = "platconf file " + path + " has no entry \"wsh\" (web-service host)";
        return false;
    }
    return Port("wsp", &webPort, error);
}

const _Resource_Info* FarsideSettings::Find(const char* name) const
{
    for (const std::unique_ptr<_Resource_Info>& entry : entries_) {
        if (entry->name == name)
            return entry.get();
    }
    return nullptr;
}

bool FarsideSettings::Has(const char* name) const
{
    return Find(name) != nullptr;
}

std::string FarsideSettings::Text(const char* name, const std::string& fallback) const
{
    const _Resource_Info* entry = Find(name);
    return entry ? entry->Text() : fallback;
}

bool FarsideSettings::Port(const char* name, int* port, std::string* error) const
{
    if (!Has(name)) {
        *error = "platconf file " + path_ + " has no entry \"" + name + "\"";
        return false;
    }
    std::string text = Text(name);
    long value = 0;
    bool digits = !text.empty() && text.size() <= 5;
    for (char c : text) {
        if (c < '0' || c > '9')
            digits = false;
        else
            value = value * 10 + (c - '0');
    }
    if (!digits || value < 1 || value > 65535) {
        *error = "platconf file " + path_ + ": entry \"" + std::string(name) +
                 "\" is not a port number (1-65535): \"" + text + "\"";
        return false;
    }
    *port = static_cast<int>(value);
    return true;
}

bool FarsideSettings::LoadServices(std::string* error)
{
    auto required = [&](const char* name, std::string* out) {
        *out = Text(name);
        if (out->empty())
            *error = "platconf file " + path_ + " has no entry \"" + name + "\"";
        return !out->empty();
    };
    if (!required("bh", &brokerHost) || !Port("bp", &brokerPort, error) ||
        !required("busername", &brokerUser) || !required("bpassword", &brokerPassword) ||
        !required("port_transfer_host", &portTransferHost) ||
        !Port("port_transfer_port", &portTransferPort, error))
        return false;
    relayHost = Text("relay_host", portTransferHost);
    if ((Has("relay_port") && !Port("relay_port", &relayPort, error)) ||
        (Has("vpn_port") && !Port("vpn_port", &vpnPort, error)))
        return false;
    vpnHost = Text("vpn_host", "127.0.0.1");
    return true;
}
