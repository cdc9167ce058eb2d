#include "platform/OffUiThread.h"

#include "platform/UiThread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QObject>

#include <atomic>
#include <thread>

namespace platform {

namespace {

// Process-wide because it stands for the application's one window system, like the
// message-box handler: the UI installs it once and every wait on the UI thread uses it.
std::atomic<BusyIndicator*> g_indicator{nullptr};

// Drops the user's input to every object of the application while installed.
class InputBlocker : public QObject
{
public:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Wheel:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
            return true;
        default:
            return false;
        }
    }
};

// Ends its event loop when any event reaches it.
class LoopEnder : public QObject
{
public:
    explicit LoopEnder(QEventLoop& loop) : loop_(loop) {}
    bool event(QEvent*) override
    {
        loop_.quit();
        return true;
    }

private:
    QEventLoop& loop_;
};

} // namespace

BusyIndicator* SetBusyIndicator(BusyIndicator* indicator)
{
    return g_indicator.exchange(indicator);
}

void RunOffUiThread(const std::function<void()>& work)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || !UiThread::IsCurrent()) {
        work();
        return;
    }
    InputBlocker blocker;
    app->installEventFilter(&blocker);
    UiThread::HoldQueuedCalls();
    BusyIndicator* indicator = g_indicator.load();
    if (indicator != nullptr)
        indicator->Begin();

    QEventLoop loop;
    LoopEnder ender(loop);
    // The event that ends the wait is made and, once delivered, freed on this thread;
    // the worker only posts it.
    QEvent* finished = new QEvent(QEvent::User);
    std::thread worker([&work, &ender, finished] {
        work();
        QCoreApplication::postEvent(&ender, finished);
    });
    loop.exec();
    worker.join();

    if (indicator != nullptr)
        indicator->End();
    UiThread::ReleaseQueuedCalls();
    app->removeEventFilter(&blocker);
}

} // namespace platform
