#include "ListenCommand.h"

#include "CliConsole.h"
#include "CliEventLoop.h"
#include "CliMqttSession.h"
#include "mqtt-c/DispatchLinePrinter.h"

#include <cstdio>

bool ListenCommand::Parse(const std::vector<std::string>& args)
{
    if (!args.empty()) {
        CliConsole::Error("listen takes no arguments");
        return false;
    }
    return true;
}

int ListenCommand::Execute(Session&)
{
    CliMqttSession mqtt;
    CliEventLoop loop;
    DispatchLinePrinter printer(stdout);
    if (!mqtt.Start(installation_, &printer))
        return kExitFailed;
    loop.OnStopSignal([&mqtt](int) {
        mqtt.Stop();
        CliEventLoop::Quit(kExitOk);
    });
    return loop.Run();
}
