#pragma once

#include "platform/MessageBoxHandler.h"
#include "platform/TipsDialog.h"

// What the window would show, printed: every message box and every waiting dialog
// becomes its text on standard error. Boxes are answered at once: OK for an OK box,
// the negative answer otherwise (the command line never agrees to a question).
// Waiting dialogs have no window, so only their time-out or their owner ends them.
// Installed while the object lives.
class CliScreen : public platform::MessageBoxHandler, public platform::TipsDialog::Presenter
{
public:
    CliScreen();
    ~CliScreen() override;

    CliScreen(const CliScreen&) = delete;
    CliScreen& operator=(const CliScreen&) = delete;

    int Show(platform::MessageWindow* owner, const QString& text, const QString& caption,
             unsigned style) override;
    bool Show(platform::TipsDialog& dialog) override;
    void Hide(platform::TipsDialog& dialog) override;

private:
    platform::MessageBoxHandler* previousBoxes_ = nullptr;
    platform::TipsDialog::Presenter* previousTips_ = nullptr;
};
