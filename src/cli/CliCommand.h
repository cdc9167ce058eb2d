#pragma once

#include <string>
#include <vector>

class Installation;
class Session;

// Exit codes of every lumetra-cli command.
enum CliExitCode
{
    kExitOk = 0,
    kExitFailed = 1, // the operation failed (service refusal, missing installation, ...)
    kExitUsage = 2,  // the command line was wrong
};

// One command of lumetra-cli ("login", "gateways", ...). The application finds it
// by name, lets it parse the words after the name, brings the installation up when
// the command asks for it, then runs it. Parsing comes first so that a wrong command
// line is reported as such even where no installation exists. The installation
// is the application's; it outlives the command.
class CliCommand
{
public:
    explicit CliCommand(Installation& installation) : installation_(installation) {}
    virtual ~CliCommand();

    virtual const char* Name() const = 0;
    // Arguments after the name, e.g. "USER [PASSWORD] [--remember]".
    virtual const char* Synopsis() const = 0;
    // One line for the overview.
    virtual const char* Summary() const = 0;
    // Further lines of the command's own usage (options), may be empty.
    virtual const char* Details() const { return ""; }
    // Whether the installation (custom resources, web endpoint, PC identifier) must
    // be brought up before Execute.
    virtual bool NeedsInstallation() const { return true; }

    // Takes the words after the name. False after printing the reason to standard
    // error; the application then prints the command's usage and exits with
    // kExitUsage.
    virtual bool Parse(const std::vector<std::string>& args) = 0;
    // Runs the parsed command in `session` (the installation's web client and the
    // account signed in; without the installation the client has no endpoint).
    // Returns one of CliExitCode.
    virtual int Execute(Session& session) = 0;

protected:
    Installation& installation_;
};
