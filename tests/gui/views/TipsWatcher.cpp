#include "gui/views/TipsWatcher.h"

#include "ui/CDlgTips.h"

#include <QApplication>
#include <QTimer>

bool TipsWatcher::Show(platform::TipsDialog& dialog)
{
    texts.push_back(dialog.Text());
    const bool shown = screen_.Show(dialog);
    if (dialog.IsClosable()) {
        platform::TipsDialog* key = &dialog;
        QTimer::singleShot(0, qApp, [this, key] {
            if (CDlgTips* window = screen_.Shown(*key))
                window->close();
        });
    }
    return shown;
}

void TipsWatcher::Hide(platform::TipsDialog& dialog)
{
    screen_.Hide(dialog);
}
