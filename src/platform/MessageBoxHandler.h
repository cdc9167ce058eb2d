#pragma once

#include <QString>

namespace platform {

class MessageWindow;

// Shows a message box and returns the button the user chose (kIdOk, kIdYes, kIdNo, ...).
// The UI installs an implementation with real dialogs; tests install a recorder that
// answers as scripted. Show is always called on the UI thread.
class MessageBoxHandler
{
public:
    virtual ~MessageBoxHandler() = default;
    virtual int Show(MessageWindow* owner, const QString& text, const QString& caption, unsigned style) = 0;
};

} // namespace platform
