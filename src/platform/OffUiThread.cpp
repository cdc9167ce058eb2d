#include "platform/OffUiThread.h"

#include "platform/UiThread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QMetaObject>
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
    std::thread worker([&work, &loop] {
        work();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();

    if (indicator != nullptr)
        indicator->End();
    UiThread::ReleaseQueuedCalls();
    app->removeEventFilter(&blocker);
}

} // namespace platform
