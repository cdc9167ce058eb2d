#include "platform/UiThread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace platform {

namespace {

// One call handed to the UI thread by Run. The caller owns it and waits until `done`.
struct PendingCall
{
    const std::function<void()>* work = nullptr;
    bool done = false;
};

// An entry of the queue: a waiting caller's call (Run), or work nobody waits for (Post).
struct QueuedCall
{
    PendingCall* waiter = nullptr;
    std::function<void()> posted;
};

// Calls from other threads wait in this queue, in the order they were made. The
// handing over is synchronised with standard mutexes so that everything the caller
// wrote before the call is visible to the work, and everything the work wrote is
// visible to the caller afterwards.
std::mutex g_lock;
std::condition_variable g_finished;
std::deque<QueuedCall> g_queue;

// Set (under g_lock) while a wake-up event is on its way to the dispatcher: calls
// queued meanwhile are run by it and post none of their own, so a burst of calls
// costs one event, not one each.
bool g_wakePosted = false;

// Holds of the queue (HoldQueuedCalls); UI thread only.
int g_holds = 0;

const QEvent::Type kRunQueuedCalls = static_cast<QEvent::Type>(QEvent::User + 0x4C4D);

void RunQueuedCalls()
{
    {
        // Calls queued from now on post a new wake-up: this pass may miss them, or
        // stop early for a hold.
        std::lock_guard<std::mutex> guard(g_lock);
        g_wakePosted = false;
    }
    for (;;) {
        if (g_holds > 0) {
            return;
        }
        QueuedCall next;
        {
            std::lock_guard<std::mutex> guard(g_lock);
            if (g_queue.empty()) {
                return;
            }
            next = std::move(g_queue.front());
            g_queue.pop_front();
        }
        PendingCall* call = next.waiter;
        if (call == nullptr) {
            next.posted();
            continue;
        }
        (*call->work)();
        {
            std::lock_guard<std::mutex> guard(g_lock);
            call->done = true;
        }
        g_finished.notify_all();
    }
}

// Lives on the UI thread and runs the queued calls when an event arrives. The event
// is not inspected: the calls are found through the queue, whose lock is also what
// orders the event's allocation (on the caller's thread) before its deletion here.
// Events sent to it on another thread (its move to the UI thread) run nothing.
class UiDispatcher : public QObject
{
public:
    bool event(QEvent* event) override
    {
        QCoreApplication* app = QCoreApplication::instance();
        if (app != nullptr && app->thread() == QThread::currentThread()) {
            RunQueuedCalls();
        }
        return QObject::event(event);
    }
};

// The dispatcher of the UI thread, made on first use and kept for the process.
QObject* Dispatcher(QCoreApplication* app)
{
    static std::mutex creation;
    static UiDispatcher* dispatcher = nullptr;
    std::lock_guard<std::mutex> guard(creation);
    if (dispatcher == nullptr) {
        dispatcher = new UiDispatcher;
        dispatcher->moveToThread(app->thread());
    }
    return dispatcher;
}

// Queues `call`; returns the wake-up event to post when none is on its way (null
// otherwise). The event is made under the queue's lock, which orders its allocation
// before the UI thread, which takes the lock to run the calls, deletes it.
QEvent* Enqueue(QueuedCall call)
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_queue.push_back(std::move(call));
    if (g_wakePosted) {
        return nullptr;
    }
    g_wakePosted = true;
    return new QEvent(kRunQueuedCalls);
}

} // namespace

namespace UiThread {

bool IsCurrent()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app == nullptr || app->thread() == QThread::currentThread();
}

void Run(const std::function<void()>& work)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || app->thread() == QThread::currentThread()) {
        work();
        return;
    }
    QObject* dispatcher = Dispatcher(app);
    PendingCall call;
    call.work = &work;
    if (QEvent* wake = Enqueue(QueuedCall{&call, {}})) {
        QCoreApplication::postEvent(dispatcher, wake);
    }

    std::unique_lock<std::mutex> guard(g_lock);
    while (!call.done) {
        g_finished.wait_for(guard, std::chrono::milliseconds(100));
        if (!call.done && (QCoreApplication::closingDown() || QCoreApplication::instance() == nullptr)) {
            // The UI thread is going away: withdraw the call if it has not started.
            for (auto it = g_queue.begin(); it != g_queue.end(); ++it) {
                if (it->waiter == &call) {
                    g_queue.erase(it);
                    return;
                }
            }
        }
    }
}

void Post(std::function<void()> work)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        work();
        return;
    }
    QObject* dispatcher = Dispatcher(app);
    if (QEvent* wake = Enqueue(QueuedCall{nullptr, std::move(work)})) {
        QCoreApplication::postEvent(dispatcher, wake);
    }
}

void HoldQueuedCalls()
{
    ++g_holds;
}

void ReleaseQueuedCalls()
{
    if (g_holds > 0 && --g_holds == 0) {
        QCoreApplication* app = QCoreApplication::instance();
        if (app != nullptr) {
            QCoreApplication::postEvent(Dispatcher(app), new QEvent(kRunQueuedCalls));
        }
    }
}

} // namespace UiThread

} // namespace platform
