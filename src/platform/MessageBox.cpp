#include "platform/MessageBox.h"

#include "platform/MessageBoxHandler.h"
#include "platform/UiThread.h"

#include <atomic>
#include <cstdio>

namespace platform {

const char* const kDefaultMessageBoxCaption = "Lumetra";

namespace {

std::atomic<MessageBoxHandler*> g_handler{nullptr};

int PrintAndAnswer(const QString& text, const QString& caption, unsigned style)
{
    std::fprintf(stderr, "[%s] %s\n", caption.toUtf8().constData(), text.toUtf8().constData());
    std::fflush(stderr);
    return UnattendedAnswer(style);
}

} // namespace

int UnattendedAnswer(unsigned style)
{
    switch (style & kMbTypeMask) {
    case kMbOk:
        return kIdOk;
    case kMbOkCancel:
    case kMbYesNoCancel:
        return kIdCancel;
    default:
        return kIdNo;
    }
}

MessageBoxHandler* SetMessageBoxHandler(MessageBoxHandler* handler)
{
    return g_handler.exchange(handler);
}

int ShowMessageBox(MessageWindow* owner, const QString& text, const QString& caption, unsigned style)
{
    int answer = 0;
    UiThread::Run([&]() {
        MessageBoxHandler* handler = g_handler.load();
        answer = handler != nullptr ? handler->Show(owner, text, caption, style)
                                    : PrintAndAnswer(text, caption, style);
    });
    return answer;
}

int AfxMessageBox(const QString& text, unsigned style)
{
    return ShowMessageBox(nullptr, text, QString::fromUtf8(kDefaultMessageBoxCaption), style);
}

} // namespace platform
