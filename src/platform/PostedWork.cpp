#include "platform/PostedWork.h"

#include "platform/UiThread.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include <mutex>
#include <vector>

namespace platform {

namespace {

// Process-wide, see the header. Never destroyed: a thread may post while the process
// exits.
std::mutex& PostedLock()
{
    static auto* lock = new std::mutex;
    return *lock;
}

std::vector<std::shared_ptr<PostedWork>>& Posted()
{
    static auto* posted = new std::vector<std::shared_ptr<PostedWork>>;
    return *posted;
}

QPointer<QTimer>& DrainTimer()
{
    static auto* timer = new QPointer<QTimer>;
    return *timer;
}

// Runs everything posted since the last call (UI thread).
void RunPostedWork()
{
    std::vector<std::shared_ptr<PostedWork>> posted;
    {
        std::lock_guard<std::mutex> guard(PostedLock());
        posted.swap(Posted());
    }
    for (const std::shared_ptr<PostedWork>& work : posted) {
        work->RunPosted();
    }
}

} // namespace

void PostedWork::PrepareTimer()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app != nullptr && DrainTimer().isNull() && UiThread::IsCurrent()) {
        auto* timer = new QTimer(app);
        timer->setSingleShot(true);
        timer->setInterval(0);
        QObject::connect(timer, &QTimer::timeout, timer, &RunPostedWork);
        std::lock_guard<std::mutex> guard(PostedLock());
        DrainTimer() = timer;
    }
}

bool PostedWork::Post(std::shared_ptr<PostedWork> work)
{
    std::lock_guard<std::mutex> guard(PostedLock());
    QTimer* timer = DrainTimer().data();
    if (timer == nullptr) {
        return false;
    }
    Posted().push_back(std::move(work));
    QMetaObject::invokeMethod(timer, "start", Qt::QueuedConnection);
    return true;
}

} // namespace platform
