#pragma once

#include "platform/TipsDialog.h"

#include <map>
#include <memory>

class CDlgTips;

// Puts every waiting dialog of the program on the screen as a CDlgTips, centred
// over its parent window.
class TipsDialogPresenter : public platform::TipsDialog::Presenter
{
public:
    TipsDialogPresenter();
    ~TipsDialogPresenter() override;

    bool Show(platform::TipsDialog& dialog) override;
    void Hide(platform::TipsDialog& dialog) override;

    // The dialog on the screen for `dialog`, or null.
    CDlgTips* Shown(const platform::TipsDialog& dialog) const;

private:
    std::map<const platform::TipsDialog*, std::unique_ptr<CDlgTips>> shown_;
};
