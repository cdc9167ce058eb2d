#pragma once

#include "CliCommand.h"

// lumetra-cli listen: connects to the broker exactly as the window does (same
// identity, arguments, subscription and last will) and prints each inbound message
// the dispatch delivers as one line "<message number> <routing code or 0> <JSON>",
// until SIGINT or SIGTERM.
class ListenCommand : public CliCommand
{
public:
    using CliCommand::CliCommand;

    const char* Name() const override { return "listen"; }
    const char* Synopsis() const override { return ""; }
    const char* Summary() const override { return "print every message the broker delivers to this PC"; }
    bool Parse(const std::vector<std::string>& args) override;
    int Execute(Session& session) override;
};
