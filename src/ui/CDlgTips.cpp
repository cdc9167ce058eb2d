#include "ui/CDlgTips.h"

#include "app/UiText.h"
#include "platform/TipsDialog.h"
#include "ui/CMemDCPNG.h"

#include <QCloseEvent>

CDlgTips::CDlgTips(platform::TipsDialog& tips, QWidget* parent) : QDialog(parent), tips_(tips)
{
    setWindowTitle(QStringLiteral("Lumetra"));
    setFixedSize(kWidth, kHeight);
    setWindowModality(Qt::ApplicationModal);
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (tips_.IsClosable())
        flags |= Qt::WindowCloseButtonHint;
    setWindowFlags(flags);
}

void CDlgTips::Dismiss()
{
    dismissing_ = true;
    hide();
}

void CDlgTips::paintEvent(QPaintEvent*)
{
    CMemDCPNG dc(this);
    if (!tips_.Text().isEmpty())
        dc.Text(rect(), UiText::Translate(tips_.Text()), CMemDCPNG::YaHei(12), Qt::black, Qt::AlignHCenter);
}

void CDlgTips::closeEvent(QCloseEvent* event)
{
    if (dismissing_) {
        event->accept();
        return;
    }
    event->ignore();
    if (tips_.IsClosable())
        tips_.Close();
}

void CDlgTips::reject()
{
    // Escape: only a closable dialog may be closed by the user.
    if (tips_.IsClosable())
        tips_.Close();
}
