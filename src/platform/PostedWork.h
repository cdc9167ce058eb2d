#pragma once

#include <memory>

namespace platform {

// Work that any thread hands to the UI thread without waiting for it (UiThread::Run
// waits). The work is queued here, under this module's own lock, and a zero-time
// single-shot timer of the UI thread is started by name through Qt's event queue to
// run it: the call Qt carries across threads is made and owned by Qt alone and
// holds nothing of the poster's (the thread sanitizer cannot follow what travels
// inside Qt's posted calls).
//
// The queue and its timer are process-wide on purpose: a poster may be any thread
// at any moment, also while the object it posts for is being destroyed on the UI
// thread or the process exits, so they cannot belong to any one object; and there
// is one UI thread, whose application object owns the timer.
class PostedWork
{
public:
    virtual ~PostedWork() = default;

    // Runs on the UI thread once per Post that queued this work.
    virtual void RunPosted() = 0;

    // Makes the timer that runs queued work, once per application object. Only the
    // UI thread makes it; elsewhere, or without an application object, nothing
    // happens.
    static void PrepareTimer();

    // Queues `work` and starts the timer (any thread). False, with nothing queued,
    // when there is no timer yet.
    static bool Post(std::shared_ptr<PostedWork> work);
};

} // namespace platform
