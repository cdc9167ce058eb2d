#include "CliScreen.h"

#include "CliConsole.h"
#include "platform/MessageBox.h"

CliScreen::CliScreen()
{
    previousBoxes_ = SetMessageBoxHandler(this);
    previousTips_ = TipsDialog::SetPresenter(this);
}

CliScreen::~CliScreen()
{
    SetMessageBoxHandler(previousBoxes_);
    TipsDialog::SetPresenter(previousTips_);
}

int CliScreen::Show(MessageWindow* /*owner*/, const QString& text, const QString& /*caption*/, unsigned style)
{
    if (!text.isEmpty()) {
        CliConsole::Err(text);
    }
    switch (style & kMbTypeMask) {
    case kMbOk:
        return kIdOk;
    case kMbOkCancel:
    case kMbYesNoCancel:
        return kIdCancel;
    default:
        return kIdNo;
    }
}

bool CliScreen::Show(TipsDialog& dialog)
{
    if (!dialog.Text().isEmpty()) {
        CliConsole::Err(dialog.Text());
    }
    return false;
}

void CliScreen::Hide(TipsDialog& /*dialog*/) {}
