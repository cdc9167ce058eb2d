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
    switch (style & MB_TYPEMASK) {
    case MB_OK:
        return IDOK;
    case MB_OKCANCEL:
    case MB_YESNOCANCEL:
        return IDCANCEL;
    default:
        return IDNO;
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
