#include "VpnCommand.h"

#include "CliConsole.h"
#include "CliDetailSession.h"
#include "CliEventLoop.h"
#include "CliSignIn.h"
#include "cloud/CNodeGateway.h"

#include <QTimer>

#include <memory>
#include <string>

const char* VpnCommand::Details() const
{
    return CliSignIn::CredentialDetails();
}

bool VpnCommand::Parse(const std::vector<std::string>& words)
{
    CliSignIn::AddCredentialOptions(m_args);
    std::string error;
    if (!m_args.Parse(words, &error) || !CliSignIn::CheckCredentialOptions(m_args, &error)) {
        CliConsole::Error(error);
        return false;
    }
    if (m_args.Positional().size() != 1 || m_args.Positional().front().empty()) {
        CliConsole::Error(m_args.Positional().size() > 1 ? "too many arguments"
                                                         : "a gateway serial number GWSN is needed");
        return false;
    }
    m_gwSn = m_args.Positional().front();
    return true;
}

int VpnCommand::Execute()
{
    std::unique_ptr<CNodeGateway> gateway;
    const int loaded = CliDetailSession::LoadGateway(m_args, m_gwSn, &gateway);
    if (loaded != kExitOk) {
        CliDetailSession::ReleaseGateway(gateway.get());
        return loaded;
    }
    int exitCode = kExitFailed;
    {
        CliEventLoop loop;
        CliDetailSession session;
        m_session = &session;
        GatewayDetailController& controller = session.Controller();
        controller.SetListener(this);
        CNodeGateway* shown = gateway.get();
        loop.OnStopSignal([this, &controller, shown](int) {
            controller.CloseTipsDialog();
            const bool on = shown->channelActive != 0;
            if (on) {
                m_stopping = true;
                controller.ChannelSwitchClicked();
            }
            Finish(on ? kExitOk : kExitFailed);
        });
        const bool started = session.Start(
            [&controller, shown] {
                controller.SetGateway(shown);
                controller.ChannelSwitchClicked();
            },
            [this] { Finish(kExitFailed); });
        if (started) {
            exitCode = loop.Run();
        }
        session.Stop();
        controller.SetListener(nullptr);
        m_session = nullptr;
    }
    CliDetailSession::ReleaseGateway(gateway.get());
    return exitCode;
}

void VpnCommand::ChannelRefused()
{
    Finish(kExitFailed);
}

void VpnCommand::ChannelClosed()
{
    if (!m_stopping) {
        Finish(kExitFailed);
    }
}

void VpnCommand::LinkReported(bool up)
{
    if (!m_finishing) {
        CliConsole::Out(std::string(up ? "link: up" : "link: down"));
    }
}

void VpnCommand::RequestTimedOut(CNodeDevice* /*device*/)
{
    Finish(kExitFailed);
}

void VpnCommand::Finish(int exitCode)
{
    if (m_finishing) {
        return;
    }
    m_finishing = true;
    // Leave the handler first: the MQTT thread may be waiting on it.
    QTimer::singleShot(0, [this, exitCode] {
        if (m_session != nullptr) {
            m_session->Stop();
        }
        CliEventLoop::Quit(exitCode);
    });
}
