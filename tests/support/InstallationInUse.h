#pragma once

#include "app/Installation.h"
#include "app/ProcessInstallation.h"

#include <QString>

// An installation of a test's folder, registered as the one the tunnels read for
// as long as the object lives.
class InstallationInUse
{
public:
    explicit InstallationInUse(const QString& folder) : installation_(folder)
    {
        SetProcessInstallation(&installation_);
    }
    ~InstallationInUse() { SetProcessInstallation(nullptr); }
    InstallationInUse(const InstallationInUse&) = delete;
    InstallationInUse& operator=(const InstallationInUse&) = delete;

    Installation& Get() { return installation_; }

private:
    Installation installation_;
};
