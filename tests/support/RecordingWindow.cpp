#include "support/RecordingWindow.h"

#include "app/JsonPtr.h"
#include "platform/UiThread.h"

#include <algorithm>
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

RecordingWindow::Describe RecordingWindow::JsonOf(std::vector<platform::MsgCode> jsonMessages)
{
    return [jsonMessages = std::move(jsonMessages)](platform::MsgCode msg, platform::WParam,
                                                    platform::LParam lParam) {
        if (lParam == 0 || std::find(jsonMessages.begin(), jsonMessages.end(), msg) == jsonMessages.end())
            return std::string();
        const JsonText text(cJSON_PrintUnformatted(reinterpret_cast<const cJSON*>(lParam)));
        return text ? std::string(text.get()) : std::string();
    };
}
