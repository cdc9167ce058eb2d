#pragma once

#include "CliArguments.h"
#include "CliCommand.h"

// lumetra-cli login USER [--password-stdin | PASSWORD] [--remember]: signs in as the login view does,
// records the login in the login cache and prints the account's identifiers.
class LoginCommand : public CliCommand
{
public:
    using CliCommand::CliCommand;

    const char* Name() const override { return "login"; }
    const char* Synopsis() const override { return "USER [--password-stdin | PASSWORD] [--remember]"; }
    const char* Summary() const override { return "sign in and record the login in the login cache"; }
    const char* Details() const override;
    bool Parse(const std::vector<std::string>& args) override;
    int Execute(Session& session) override;

private:
    CliArguments args_;
};
