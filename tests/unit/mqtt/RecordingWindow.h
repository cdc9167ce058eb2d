#pragma once

#include "platform/MessageWindow.h"

#include <mutex>
#include <string>
#include <vector>

// A target window for inbound messages that keeps what it received: the message
// number and parameters, the dispatch line (message, routing code and JSON, taken
// while the pointers are still valid) and whether it ran on the UI thread.
class RecordingWindow : public MessageWindow
{
public:
    struct Entry
    {
        UINT msg = 0;
        WPARAM wParam = 0;
        LPARAM lParam = 0;
        std::string line;
        bool onUiThread = false;
    };

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    std::vector<Entry> Entries() const;
    size_t Count() const;
    void Clear();

protected:
    // Called after the entry is recorded, still inside the handler.
    virtual void AfterRecord(const Entry&) {}

private:
    mutable std::mutex lock_;
    std::vector<Entry> entries_;
};
