#pragma once

#include "platform/TipsDialog.h"
#include "ui/TipsDialogPresenter.h"

#include <QStringList>

// The program's waiting dialogs, watched as a user would: the text of each dialog
// shown is kept, and a dialog the user may close is closed once it is on the screen.
class TipsWatcher : public platform::TipsDialog::Presenter
{
public:
    bool Show(platform::TipsDialog& dialog) override;
    void Hide(platform::TipsDialog& dialog) override;

    QStringList texts;

private:
    TipsDialogPresenter screen_;
};
