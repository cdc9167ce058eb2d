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
class RecordingWindow : public MessageWindow
{
public:
    struct Entry
    {
        MsgCode msg = 0;
        WParam wParam = 0;
        LParam lParam = 0;
        std::string text;
        bool onUiThread = false;
    };
    using Describe = std::function<std::string(MsgCode msg, WParam wParam, LParam lParam)>;

    explicit RecordingWindow(Describe describe = nullptr) : describe_(std::move(describe)) {}

    LResult WindowProc(MsgCode msg, WParam wParam, LParam lParam) override;

    std::vector<Entry> Entries() const;
    size_t Count() const { return Entries().size(); }
    // The records of message `msg` only.
    std::vector<Entry> Of(MsgCode msg) const;
    // The records so far, which are then forgotten.
    std::vector<Entry> Take();
    void Clear() { Take(); }

    // A `describe` that prints the JSON object lParam points at for the messages in
    // `jsonMessages`, unformatted (empty for a null pointer).
    static Describe JsonOf(std::vector<MsgCode> jsonMessages);

protected:
    // Called after the entry is recorded, still inside the handler.
    virtual void AfterRecord(const Entry&) {}

private:
    Describe describe_;
    mutable std::mutex lock_;
    std::vector<Entry> entries_;
};
