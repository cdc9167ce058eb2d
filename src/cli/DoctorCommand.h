#pragma once

#include "CliArguments.h"
#include "CliCommand.h"

// lumetra-cli doctor [--user U [--password-stdin | --password P]]: the pre-flight check
// (PreflightCheck). One line per check on standard output as it completes, then a
// summary; exit 0 only when every needed check passed.
class DoctorCommand : public CliCommand
{
public:
    using CliCommand::CliCommand;

    const char* Name() const override { return "doctor"; }
    const char* Synopsis() const override { return "[--user U [--password-stdin | --password P]]"; }
    const char* Summary() const override
    {
        return "check the web service, sign-in, broker, tunnel servers, virtual COM pairs, OpenVPN and local "
               "ports";
    }
    const char* Details() const override;
    bool Parse(const std::vector<std::string>& args) override;
    int Execute(Session& session) override;

private:
    CliArguments args_;
};
