#include "CliSessionCommand.h"

#include "CliDetailSession.h"
#include "CliEventLoop.h"
#include "CliSignIn.h"
#include "cloud/CNodeGateway.h"

#include <QTimer>

const char* CliSessionCommand::Details() const
{
    return CliSignIn::CredentialDetails();
}

int CliSessionCommand::LoadGateway(const std::string& gwSn, std::unique_ptr<CNodeGateway>* gateway)
{
    const int loaded = CliDetailSession::LoadGateway(m_args, gwSn, gateway);
    if (loaded != kExitOk) {
        CliDetailSession::ReleaseGateway(gateway->get());
        gateway->reset();
    }
    return loaded;
}

int CliSessionCommand::RunSession(std::unique_ptr<CNodeGateway>& gateway,
                                  const std::function<void(CliEventLoop&, CliDetailSession&)>& prepare,
                                  std::function<void()> ready)
{
    int exitCode = kExitFailed;
    {
        CliEventLoop loop;
        CliDetailSession session;
        m_session = &session;
        GatewayDetailController& controller = session.Controller();
        controller.SetListener(this);
        prepare(loop, session);
        if (session.Start(std::move(ready), [this] { Finish(kExitFailed); })) {
            exitCode = loop.Run();
        }
        session.Stop();
        controller.SetListener(nullptr);
        m_session = nullptr;
    }
    CliDetailSession::ReleaseGateway(gateway.get());
    return exitCode;
}

void CliSessionCommand::Finish(int exitCode)
{
    if (m_finishing) {
        return;
    }
    m_finishing = true;
    QTimer::singleShot(0, [this, exitCode] {
        if (m_session != nullptr) {
            m_session->Stop();
        }
        CliEventLoop::Quit(exitCode);
    });
}
