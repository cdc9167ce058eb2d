// lumetra-farside: the far side of the Lumetra client on this machine.
//
//   lumetra-farside --platconf FILE --inventory FILE [--web-only]
//
// Exit status: 0 after SIGINT/SIGTERM or --help, 2 for a bad command line or bad
// input file, 1 when a service cannot start.

#include "FarsideLog.h"
#include "FarsideOptions.h"
#include "FarsideSettings.h"
#include "Inventory.h"
#include "WebService.h"

#include <csignal>
#include <cstdio>
#include <pthread.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    // Block the stop signals in every thread (the service threads inherit the mask);
    // the main thread waits for them with sigwait and shuts the services down.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    FarsideOptions options;
    std::string error;
    if (!options.Parse(std::vector<std::string>(argv + 1, argv + argc), &error)) {
        FarsideLog::Error(error);
        std::fprintf(stderr, "%s", FarsideOptions::Usage().c_str());
        return 2;
    }
    if (options.help) {
        std::printf("%s", FarsideOptions::Usage().c_str());
        return 0;
    }

    FarsideSettings settings;
    if (!settings.Load(options.platconfPath, &error)) {
        FarsideLog::Error(error);
        return 2;
    }
    Inventory inventory;
    if (!inventory.Load(options.inventoryPath, &error)) {
        FarsideLog::Error(error);
        return 2;
    }

    WebService web(inventory);
    if (!web.Listen(settings.webHost, settings.webPort, &error)) {
        FarsideLog::Error(error);
        return 1;
    }
    bool webFailed = false;
    auto onWebFailure = [&webFailed] {
        webFailed = true;
        kill(getpid(), SIGTERM); // wake the main thread
    };
    if (!web.Start(onWebFailure, &error)) {
        FarsideLog::Error(error);
        return 1;
    }
    FarsideLog::Line("web service listening on " + web.Url());

    int signal = 0;
    sigwait(&stopSignals, &signal);
    web.Stop();
    if (webFailed) {
        FarsideLog::Error("the web service stopped unexpectedly");
        return 1;
    }
    FarsideLog::Line(std::string("stopped on ") + (signal == SIGINT ? "SIGINT" : "SIGTERM"));
    return 0;
}
