#pragma once

#include "platform/WinTypes.h"

namespace platform {

// A window in the sense of the program's message bus: an object living on the UI
// thread with one procedure that handles numbered messages. Views, controllers and
// the main window derive from it and are reached with SendWindowMessage.
class MessageWindow
{
public:
    MessageWindow();
    virtual ~MessageWindow();

    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    // Handles one message; always called on the UI thread.
    virtual LResult WindowProc(MsgCode msg, WParam wParam, LParam lParam) = 0;

    // True while `window` names a window that has been constructed and not yet
    // destroyed. Only the address is compared, so a dangling pointer is safe to ask.
    static bool IsWindow(const MessageWindow* window);
};

// Delivers a message to `window` and returns its result. On the UI thread the
// procedure is called directly; from any other thread the call runs on the UI
// thread while the sender waits, so anything passed by pointer stays valid until
// the handler returns and messages from one sender are handled in order. A null or
// destroyed window gives 0.
LResult SendWindowMessage(MessageWindow* window, MsgCode msg, WParam wParam, LParam lParam);

} // namespace platform
