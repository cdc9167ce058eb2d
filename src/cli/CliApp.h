#pragma once

#include "CliCommandRegistry.h"

#include <memory>
#include <string>

class Installation;
class Session;

// lumetra-cli: the desktop client's flows without a window. Finds the command,
// parses its arguments, brings the installation up in the order the window does
// (custom resources, web endpoint, PC identifier) and runs the command.
class CliApp
{
public:
    // The installation outlives the application object (and the threads it starts).
    explicit CliApp(Installation& installation);
    int Run(int argc, char** argv);

    // The installation start-up; the session has the web client of the installation's
    // endpoint. Null after a message on standard error.
    std::unique_ptr<Session> StartUp();

private:
    void PrintUsage(bool toStdout) const;
    void PrintCommandUsage(const CliCommand& command, bool toStdout) const;

    Installation& installation_;
    CliCommandRegistry registry_;
};
