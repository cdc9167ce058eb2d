#pragma once

#include "CliArguments.h"
#include "CliCommand.h"

#include <string>

// lumetra-cli devices GWSN: the devices behind one gateway, as the device table
// shows them.
class DevicesCommand : public CliCommand
{
public:
    using CliCommand::CliCommand;

    const char* Name() const override { return "devices"; }
    const char* Synopsis() const override { return "GWSN"; }
    const char* Summary() const override { return "list the devices behind a gateway"; }
    const char* Details() const override;
    bool Parse(const std::vector<std::string>& args) override;
    int Execute(Session& session) override;

private:
    CliArguments args_;
    std::string gwSn_;
};
