#pragma once

#include "CliCommand.h"

#include <memory>
#include <string>
#include <vector>

// The commands of lumetra-cli in the order they are listed in the usage text.
class CliCommandRegistry
{
public:
    void Add(std::unique_ptr<CliCommand> command);
    // The command with this exact name, or null.
    CliCommand* Find(const std::string& name) const;
    const std::vector<std::unique_ptr<CliCommand>>& Commands() const { return commands_; }

private:
    std::vector<std::unique_ptr<CliCommand>> commands_;
};
