#pragma once

#include "CliArguments.h"
#include "CliCommand.h"
#include "control/GatewayQuery.h"

// lumetra-cli gateways [--sn S] [--name N] [--node N] [--online|--offline]: the
// account's gateways as the gateway tree's search lists them.
class GatewaysCommand : public CliCommand
{
public:
    using CliCommand::CliCommand;

    const char* Name() const override { return "gateways"; }
    const char* Synopsis() const override { return "[--sn S] [--name N] [--node N] [--online|--offline]"; }
    const char* Summary() const override { return "list the account's gateways"; }
    const char* Details() const override;
    bool Parse(const std::vector<std::string>& args) override;
    int Execute(Session& session) override;

private:
    CliArguments args_;
    GatewayQuery::Online online_ = GatewayQuery::kAll;
};
