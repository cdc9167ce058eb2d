#include "VpnCommand.h"

#include "CliConsole.h"
#include "CliDetailSession.h"
#include "CliEventLoop.h"
#include "CliSignIn.h"
#include "cloud/CNodeGateway.h"
#include "endpoint/VpnClientControl.h"

#include <QTimer>

#include <memory>
#include <string>

bool VpnCommand::Parse(const std::vector<std::string>& words)
{
    if (!CliSignIn::ParseCommandLine(args_, words, 1, "a gateway serial number GWSN is needed")) {
        return false;
    }
    gwSn_ = args_.Positional().front();
    return true;
}

int VpnCommand::Execute(Session& session)
{
    std::unique_ptr<CNodeGateway> gateway;
    const int loaded = LoadGateway(session, gwSn_, &gateway);
    if (loaded != kExitOk) {
        return loaded;
    }
    CNodeGateway* shown = gateway.get();
    const int exitCode = RunSession(
        session,
        [this, shown](CliEventLoop& loop, CliDetailSession& detail) {
            GatewayDetailController* controller = &detail.Controller();
            loop.OnStopSignal([this, controller, shown](int) {
                controller->CloseTipsDialog();
                const bool on = shown->channelActive != 0;
                if (on) {
                    stopping_ = true;
                    controller->ChannelSwitchClicked();
                }
                Finish(on ? kExitOk : kExitFailed);
            });
        },
        [this, shown] {
            GatewayDetailController& controller = DetailSession()->Controller();
            controller.SetGateway(shown);
            controller.ChannelSwitchClicked();
        });
    // However the session ended (a signal, a refusal, the far side ending the
    // channel), the client this run started does not outlive it.
    StopVpnClients();
    return exitCode;
}

void VpnCommand::ChannelRefused()
{
    Finish(kExitFailed);
}

void VpnCommand::ChannelClosed()
{
    if (!stopping_) {
        Finish(kExitFailed);
    }
}

void VpnCommand::LinkReported(bool up)
{
    if (!Finishing()) {
        CliConsole::Out(std::string(up ? "link: up" : "link: down"));
    }
}

void VpnCommand::RequestTimedOut(CNodeDevice* /*device*/)
{
    Finish(kExitFailed);
}
