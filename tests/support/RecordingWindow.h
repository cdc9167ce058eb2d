#pragma once

#include "platform/MessageWindow.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

// A window for the code under test to send its messages to. It keeps each message
// with its parameters, whether it ran on the UI thread and a text of what the message
// carried, taken by `describe` while the pointers are still valid (none when it is
// not given). Its records can be read from another thread while messages arrive.
class RecordingWindow : public platform::MessageWindow
{
public:
    struct Entry
    {
        platform::MsgCode msg = 0;
        platform::WParam wParam = 0;
        platform::LParam lParam = 0;
        std::string text;
        bool onUiThread = false;
    };
    using Describe =
        std::function<std::string(platform::MsgCode msg, platform::WParam wParam, platform::LParam lParam)>;

    explicit RecordingWindow(Describe describe = nullptr) : describe_(std::move(describe)) {}

    platform::LResult WindowProc(platform::MsgCode msg, platform::WParam wParam,
                                 platform::LParam lParam) override;

    std::vector<Entry> Entries() const;
    size_t Count() const { return Entries().size(); }
    // The records of message `msg` only.
    std::vector<Entry> Of(platform::MsgCode msg) const;
    // The records so far, which are then forgotten.
    std::vector<Entry> Take();
    void Clear() { Take(); }

protected:
    // Called after the entry is recorded, still inside the handler.
    virtual void AfterRecord(const Entry&) {}

private:
    Describe describe_;
    mutable std::mutex lock_;
    std::vector<Entry> entries_;
};
