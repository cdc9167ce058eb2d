#include "platform/MessageWindow.h"

#include "platform/UiThread.h"

#include <mutex>
#include <unordered_set>

namespace platform {

namespace {

// Every live window. Windows are made and destroyed on the UI thread and the
// membership test before a call also runs there, so a window cannot vanish between
// the test and its procedure; the lock keeps the set itself consistent for
// IsWindow callers on other threads.
std::mutex& RegistryLock()
{
    static std::mutex lock;
    return lock;
}

std::unordered_set<const MessageWindow*>& Registry()
{
    static std::unordered_set<const MessageWindow*> windows;
    return windows;
}

} // namespace

MessageWindow::MessageWindow()
{
    std::lock_guard<std::mutex> guard(RegistryLock());
    Registry().insert(this);
}

MessageWindow::~MessageWindow()
{
    std::lock_guard<std::mutex> guard(RegistryLock());
    Registry().erase(this);
}

bool MessageWindow::IsWindow(const MessageWindow* window)
{
    if (window == nullptr) {
        return false;
    }
    std::lock_guard<std::mutex> guard(RegistryLock());
    return Registry().count(window) != 0;
}

LResult SendWindowMessage(MessageWindow* window, MsgCode msg, WParam wParam, LParam lParam)
{
    if (window == nullptr) {
        return 0;
    }
    LResult result = 0;
    UiThread::Run([&]() {
        if (MessageWindow::IsWindow(window)) {
            result = window->WindowProc(msg, wParam, lParam);
        }
    });
    return result;
}

} // namespace platform
