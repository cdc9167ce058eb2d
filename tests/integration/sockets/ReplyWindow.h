#pragma once

#include "platform/MessageWindow.h"

#include <string>
#include <vector>

// A window that keeps the messages it receives; a WM_TUNNEL_REPLY's JSON object is
// printed while it is still valid.
class ReplyWindow : public MessageWindow
{
public:
    struct Entry
    {
        UINT msg = 0;
        WPARAM wParam = 0;
        std::string json;
    };

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    const std::vector<Entry>& Entries() const { return entries_; }
    size_t Count() const { return entries_.size(); }

private:
    std::vector<Entry> entries_;
};
