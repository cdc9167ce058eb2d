#include "CliScreen.h"

#include "CliConsole.h"
#include "platform/MessageBox.h"

CliScreen::CliScreen()
{
    previousBoxes_ = platform::SetMessageBoxHandler(this);
    previousTips_ = platform::TipsDialog::SetPresenter(this);
}

CliScreen::~CliScreen()
{
    platform::SetMessageBoxHandler(previousBoxes_);
    platform::TipsDialog::SetPresenter(previousTips_);
}

int CliScreen::Show(platform::MessageWindow* /*owner*/, const QString& text, const QString& /*caption*/,
                    unsigned style)
{
    if (!text.isEmpty()) {
        CliConsole::Err(text);
    }
    return platform::UnattendedAnswer(style);
}

bool CliScreen::Show(platform::TipsDialog& dialog)
{
    if (!dialog.Text().isEmpty()) {
        CliConsole::Err(dialog.Text());
    }
    return false;
}

void CliScreen::Hide(platform::TipsDialog& /*dialog*/) {}
