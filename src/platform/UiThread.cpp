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

// Holds of the queue (HoldQueuedCalls); UI thread only.
int g_holds = 0;

const QEvent::Type kRunQueuedCalls = static_cast<QEvent::Type>(QEvent::User + 0x4C4D);

void RunQueuedCalls()
{
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
    QEvent* wake = new QEvent(kRunQueuedCalls);
    PendingCall call;
    call.work = &work;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        g_queue.push_back(QueuedCall{&call, {}});
    }
    QCoreApplication::postEvent(dispatcher, wake);

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
    // Made before the queue's lock is taken, like Run's: the lock then orders its
    // allocation before the UI thread deletes it.
    QEvent* wake = new QEvent(kRunQueuedCalls);
    {
        std::lock_guard<std::mutex> guard(g_lock);
        g_queue.push_back(QueuedCall{nullptr, std::move(work)});
    }
    QCoreApplication::postEvent(dispatcher, wake);
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
