#include "CliCommandRegistry.h"

void CliCommandRegistry::Add(std::unique_ptr<CliCommand> command)
{
    commands_.push_back(std::move(command));
}

CliCommand* CliCommandRegistry::Find(const std::string& name) const
{
    for (const std::unique_ptr<CliCommand>& command : commands_) {
        if (name == command->Name())
            return command.get();
    }
    return nullptr;
}
