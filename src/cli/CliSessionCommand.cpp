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

int CliSessionCommand::LoadGateway(Session& session, const std::string& gwSn,
                                   std::unique_ptr<CNodeGateway>* gateway)
{
    const int loaded = CliDetailSession::LoadGateway(session, installation_, args_, gwSn, gateway);
    if (loaded != kExitOk) {
        gateway->reset();
    }
    return loaded;
}

int CliSessionCommand::RunSession(Session& session,
                                  const std::function<void(CliEventLoop&, CliDetailSession&)>& prepare,
                                  std::function<void()> ready)
{
    int exitCode = kExitFailed;
    // The serial tunnels' pairs outlive the session's tunnels, which go with the
    // detail session; the gateway record they point at outlives both.
    VirtualComPairs comPairs;
    {
        CliEventLoop loop;
        CliDetailSession detail(session, installation_, comPairs);
        session_ = &detail;
        GatewayDetailController& controller = detail.Controller();
        controller.SetListener(this);
        prepare(loop, detail);
        if (detail.Start(std::move(ready), [this] { Finish(kExitFailed); })) {
            exitCode = loop.Run();
        }
        detail.Stop();
        controller.SetListener(nullptr);
        session_ = nullptr;
    }
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
