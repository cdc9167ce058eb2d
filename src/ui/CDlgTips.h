#pragma once

#include <QDialog>

namespace platform {
class TipsDialog;
} // namespace platform

// The waiting dialog on the screen: the text of its TipsDialog centred in
// "微软雅黑" 12, under the title "Lumetra". A dialog that is not closable has no
// close button and ignores attempts to close it; closing a closable one closes its
// TipsDialog (which ends its wait).
class CDlgTips : public QDialog
{
public:
    CDlgTips(platform::TipsDialog& tips, QWidget* parent);

    static constexpr int kWidth = 280;
    static constexpr int kHeight = 120;

    // Takes the dialog off the screen on the owner's behalf.
    void Dismiss();

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    platform::TipsDialog& tips_;
    bool dismissing_ = false;
};
