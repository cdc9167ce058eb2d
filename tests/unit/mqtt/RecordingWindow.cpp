#include "RecordingWindow.h"

#include "mqtt-c/DispatchLinePrinter.h"
#include "platform/UiThread.h"

LRESULT RecordingWindow::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    Entry entry{msg, wParam, lParam, DispatchLinePrinter::FormatLine(msg, wParam, lParam),
                UiThread::IsCurrent()};
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

size_t RecordingWindow::Count() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return entries_.size();
}

void RecordingWindow::Clear()
{
    std::lock_guard<std::mutex> guard(lock_);
    entries_.clear();
}
