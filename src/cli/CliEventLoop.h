#pragma once

#include <functional>
#include <memory>

// The event loop of the long-running commands (listen, open, vpn): a
// QCoreApplication on the calling thread, which becomes the UI thread that message
// windows and sockets live on. SIGINT and SIGTERM are turned into a call of the
// stop handler on that thread, never handled inside a signal context.
class CliEventLoop
{
public:
    CliEventLoop();
    ~CliEventLoop();

    CliEventLoop(const CliEventLoop&) = delete;
    CliEventLoop& operator=(const CliEventLoop&) = delete;

    // Called on the loop's thread when SIGINT or SIGTERM arrives. Without a handler
    // the loop quits with exit code 0.
    void OnStopSignal(std::function<void(int signal)> handler);
    // Runs the loop until Quit; returns the exit code given to Quit.
    int Run();
    static void Quit(int exitCode);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
