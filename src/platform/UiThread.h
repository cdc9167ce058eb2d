#pragma once

#include <functional>

namespace platform {

// The UI thread is the thread of the application object (QCoreApplication). Windows,
// views and message boxes live there; other threads reach it only through
// UiThread::Run, which waits for the work to finish, or UiThread::Post, which does not.
namespace UiThread {

// True on the UI thread, and also when no application object exists (then the
// calling thread is the only one that can run window work).
bool IsCurrent();

// Runs `work` on the UI thread and returns when it has finished. On the UI thread it
// runs at once, so nested calls never deadlock. From another thread the call joins
// a queue that the UI thread's event loop works through in order; the caller waits.
// If the application object is closing down before the call started, the call is
// withdrawn and returns without running.
void Run(const std::function<void()>& work);

// Queues `work` for the UI thread and returns at once; the work runs later, in order
// with every other Run and Post call. On the UI thread it is queued too (never run
// inside the caller). Without an application object it runs at once, as with Run. The network threads use it
// so that they never wait for the window (a message box left open must not stop the MQTT keep-alive).
void Post(std::function<void()> work);

// While held (UI thread only; holds nest), queued calls wait in the queue even when
// the UI thread runs its event loop; the last release lets them run, in order.
void HoldQueuedCalls();
void ReleaseQueuedCalls();

} // namespace UiThread

} // namespace platform
