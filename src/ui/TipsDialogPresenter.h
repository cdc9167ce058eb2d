#pragma once

#include "platform/TipsDialog.h"

#include <map>

class CDlgTips;

// Puts every waiting dialog of the program on the screen as a CDlgTips, centred
// over its parent window.
class TipsDialogPresenter : public TipsDialog::Presenter
{
public:
    ~TipsDialogPresenter() override;

    bool Show(TipsDialog& dialog) override;
    void Hide(TipsDialog& dialog) override;

    // The dialog on the screen for `dialog`, or null.
    CDlgTips* Shown(const TipsDialog& dialog) const;

private:
    std::map<const TipsDialog*, CDlgTips*> shown_;
};
