#include "ui/TipsDialogPresenter.h"

#include "platform/MessageWindow.h"
#include "ui/CDlgTips.h"

#include <QApplication>
#include <QWidget>

TipsDialogPresenter::TipsDialogPresenter() = default;

// The dialogs still on the screen go with the presenter.
TipsDialogPresenter::~TipsDialogPresenter() = default;

bool TipsDialogPresenter::Show(platform::TipsDialog& dialog)
{
    Hide(dialog);
    QWidget* parent = dynamic_cast<QWidget*>(dialog.Parent());
    if (parent == nullptr)
        parent = QApplication::activeWindow();
    auto window = std::make_unique<CDlgTips>(dialog, parent != nullptr ? parent->window() : nullptr);
    if (parent != nullptr) {
        const QRect over = parent->window()->geometry();
        window->move(over.center() - QPoint(CDlgTips::kWidth / 2, CDlgTips::kHeight / 2));
    }
    window->show();
    shown_[&dialog] = std::move(window);
    return true;
}

void TipsDialogPresenter::Hide(platform::TipsDialog& dialog)
{
    auto it = shown_.find(&dialog);
    if (it == shown_.end())
        return;
    it->second->Dismiss();
    // Hide may run inside one of the dialog's own signals: Qt deletes it once that
    // has returned.
    it->second.release()->deleteLater();
    shown_.erase(it);
}

CDlgTips* TipsDialogPresenter::Shown(const platform::TipsDialog& dialog) const
{
    auto it = shown_.find(&dialog);
    return it == shown_.end() ? nullptr : it->second.get();
}
