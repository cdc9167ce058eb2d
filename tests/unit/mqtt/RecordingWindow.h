#pragma once

#include "mqtt-c/DispatchLinePrinter.h"
#include "platform/MessageWindow.h"
#include "platform/UiThread.h"

#include <mutex>
#include <string>
#include <vector>

// A target window for inbound messages that keeps what it received: the message
// number and parameters, the dispatch line (taken while the pointers are still
// valid) and whether it ran on the UI thread.
class RecordingWindow : public MessageWindow
{
public:
    struct Entry
    {
        MsgCode msg = 0;
        WParam wParam = 0;
        LParam lParam = 0;
        std::string line;
        bool onUiThread = false;
    };

    LResult WindowProc(MsgCode msg, WParam wParam, LParam lParam) override
    {
        const Entry entry{msg, wParam, lParam, DispatchLinePrinter::FormatLine(msg, wParam, lParam),
                          UiThread::IsCurrent()};
        {
            std::lock_guard<std::mutex> guard(lock_);
            entries_.push_back(entry);
        }
        AfterRecord(entry);
        return 0;
    }
    std::vector<Entry> Entries() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return entries_;
    }
    size_t Count() const { return Entries().size(); }
    void Clear()
    {
        std::lock_guard<std::mutex> guard(lock_);
        entries_.clear();
    }

protected:
    // Called after the entry is recorded, still inside the handler.
    virtual void AfterRecord(const Entry&) {}

private:
    mutable std::mutex lock_;
    std::vector<Entry> entries_;
};
