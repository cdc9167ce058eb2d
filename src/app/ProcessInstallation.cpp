#include "app/ProcessInstallation.h"

#include "app/Installation.h"

namespace {

Installation*& Registered()
{
    static Installation* registered = nullptr;
    return registered;
}

} // namespace

void SetProcessInstallation(Installation* installation)
{
    Registered() = installation;
}

Installation& ProcessInstallation()
{
    if (Registered() == nullptr) {
        // Never destroyed: threads may still read it while the process exits.
        static auto* unregistered = new Installation;
        return *unregistered;
    }
    return *Registered();
}

const char* GetPcId()
{
    return ProcessInstallation().PcId();
}

const _Resource_Info* FindCustomResource(const char* name)
{
    return ProcessInstallation().FindResource(name);
}

std::string CustomResourceText(const char* name, const std::string& fallback)
{
    return ProcessInstallation().ResourceText(name, fallback);
}

void WriteTrace(const unsigned char* data, uint32_t length, const char* label, int hex)
{
    ProcessInstallation().Trace().Write(data, length, label, hex);
}
