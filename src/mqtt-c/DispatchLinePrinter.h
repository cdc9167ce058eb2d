#pragma once

#include "platform/MessageWindow.h"

#include <cstdio>
#include <string>

// A target window for inbound messages that writes each one as a line
// "<message number> <routing code or 0> <JSON>" (numbers in decimal, the JSON
// unformatted). Records are shown as the JSON of their fields. It lets a terminal
// program show what the dispatch delivers, exactly as the gateway detail view would
// receive it.
class DispatchLinePrinter : public platform::MessageWindow
{
public:
    explicit DispatchLinePrinter(FILE* out);

    platform::LResult WindowProc(platform::MsgCode msg, platform::WParam wParam,
                                 platform::LParam lParam) override;

    // The line for one dispatched message, without its line end; empty for a message
    // that the dispatch does not send. Call it only while the handler runs (the
    // pointers in wParam and lParam are valid only then).
    static std::string FormatLine(platform::MsgCode msg, platform::WParam wParam, platform::LParam lParam);

private:
    FILE* out_;
};
