#include "CliSessionCommand.h"

#include "CliDetailSession.h"
#include "CliEventLoop.h"
#include "CliSignIn.h"
#include "cloud/CNodeGateway.h"
#include "endpoint/VirtualComPairs.h"

#include <QTimer>

const char* CliSessionCommand::Details() const
{
    return CliSignIn::CredentialDetails();
}

int CliSessionCommand::LoadGateway(const std::string& gwSn, std::unique_ptr<CNodeGateway>* gateway)
{
    const int loaded = CliDetailSession::LoadGateway(args_, gwSn, gateway);
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
    // The serial tunnels' pairs outlive the session's tunnels, which go with the
    // gateway below.
    VirtualComPairs comPairs;
    {
        CliEventLoop loop;
        CliDetailSession session(comPairs);
        session_ = &session;
        GatewayDetailController& controller = session.Controller();
        controller.SetListener(this);
        prepare(loop, session);
        if (session.Start(std::move(ready), [this] { Finish(kExitFailed); })) {
            exitCode = loop.Run();
        }
        session.Stop();
        controller.SetListener(nullptr);
        session_ = nullptr;
    }
    CliDetailSession::ReleaseGateway(gateway.get());
    return exitCode;
}

void CliSessionCommand::Finish(int exitCode)
{
    if (finishing_) {
        return;
    }
    finishing_ = true;
    QTimer::singleShot(0, [this, exitCode] {
        if (session_ != nullptr) {
            session_->Stop();
        }
        CliEventLoop::Quit(exitCode);
    });
}
