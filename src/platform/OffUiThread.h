#pragma once

#include <functional>

namespace platform {

// Shown while the UI thread waits for work on another thread (a busy cursor in the
// window; nothing in the command-line client). The window installs one at start-up.
class BusyIndicator
{
public:
    virtual ~BusyIndicator() = default;
    virtual void Begin() = 0;
    virtual void End() = 0;
};

// Installs `indicator` (null: none) and returns the one installed before.
BusyIndicator* SetBusyIndicator(BusyIndicator* indicator);

// Runs `work` on a thread of its own and returns when it has finished. Called on the
// UI thread, the event loop keeps running meanwhile, so windows paint and timers and
// sockets are served, but the user's input is dropped (a second click does not start
// a second request), calls queued for the UI thread (UiThread::Run and Post) wait
// until the work is done (no handler runs in the middle of the caller's flow), and
// the busy indicator is shown. Called elsewhere it runs `work` directly. Used for
// requests to the web service, which may take up to their 20 s bound.
void RunOffUiThread(const std::function<void()>& work);

} // namespace platform
