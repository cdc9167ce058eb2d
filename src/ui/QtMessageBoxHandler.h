#pragma once

#include "platform/MessageBoxHandler.h"

// Shows the program's message boxes as modal Qt message boxes over their owner
// window (or the active window). Runs on the UI thread (the platform layer
// brings calls from other threads there).
class QtMessageBoxHandler : public platform::MessageBoxHandler
{
public:
    int Show(platform::MessageWindow* owner, const QString& text, const QString& caption,
             unsigned style) override;
};
