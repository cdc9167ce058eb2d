#pragma once

#include "CliArguments.h"
#include "CliCommand.h"
#include "control/GatewayDetailListener.h"

#include <functional>
#include <memory>
#include <string>

class CliDetailSession;
class CliEventLoop;
class CNodeGateway;
class Session;

// A command that works through the gateway detail controller while the broker
// connection is up (open, vpn): it loads the gateway, runs an event loop around a
// CliDetailSession until Finish, then frees what it loaded.
class CliSessionCommand : public CliCommand, public GatewayDetailListener
{
public:
    using CliCommand::CliCommand;

    const char* Details() const override;

protected:
    // Signs in to `session` and reads gateway `gwSn` with its devices into `gateway`.
    // Returns a CliExitCode; on failure the reason is printed and nothing is kept.
    int LoadGateway(Session& session, const std::string& gwSn, std::unique_ptr<CNodeGateway>* gateway);

    // Runs the loop with a fresh session whose controller reports to this command.
    // `prepare` runs before the broker connection is made (signal handlers and the
    // like); `ready` once the broker delivers this client's messages. Returns the
    // exit code given to Finish, or kExitFailed when the session could not start.
    // The session's tunnels go with it; the gateway record they were made for must
    // outlive the call.
    int RunSession(Session& session, const std::function<void(CliEventLoop&, CliDetailSession&)>& prepare,
                   std::function<void()> ready);

    // Ends the session and the loop with `exitCode`, once; later calls are ignored.
    // The end happens after the current handler returns: the MQTT thread may be
    // waiting on it.
    void Finish(int exitCode);
    bool Finishing() const { return finishing_; }
    CliDetailSession* DetailSession() const { return session_; }

    CliArguments args_;

private:
    CliDetailSession* session_ = nullptr;
    bool finishing_ = false;
};
