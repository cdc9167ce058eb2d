#include "support/RecordingWindow.h"

#include "platform/UiThread.h"

#include <utility>

platform::LResult RecordingWindow::WindowProc(platform::MsgCode msg, platform::WParam wParam,
                                              platform::LParam lParam)
{
    const Entry entry{msg, wParam, lParam, describe_ ? describe_(msg, wParam, lParam) : std::string(),
                      platform::UiThread::IsCurrent()};
    {
        std::lock_guard<std::mutex> guard(lock_);
        entries_.push_back(entry);
    }
    AfterRecord(entry);
    return 0;
}

std::vector<RecordingWindow::Entry> RecordingWindow::Entries() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return entries_;
}

std::vector<RecordingWindow::Entry> RecordingWindow::Of(platform::MsgCode msg) const
{
    std::vector<Entry> found;
    for (const Entry& entry : Entries()) {
        if (entry.msg == msg)
            found.push_back(entry);
    }
    return found;
}

std::vector<RecordingWindow::Entry> RecordingWindow::Take()
{
    std::lock_guard<std::mutex> guard(lock_);
    return std::exchange(entries_, {});
}
