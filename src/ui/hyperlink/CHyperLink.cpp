#include "ui/hyperlink/CHyperLink.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QUrl>

const QColor CHyperLink::kLinkColour(0, 0, 0);
const QColor CHyperLink::kVisitedColour(85, 26, 139);
const QColor CHyperLink::kHoverColour(255, 0, 0);

CHyperLink::CHyperLink(const QString& text, QWidget* parent) : QWidget(parent), text_(text)
{
    setCursor(Qt::PointingHandCursor);
    normalFont_ = font();
    underlineFont_ = normalFont_;
    underlineFont_.setUnderline(true);
    FitToText();
}

void CHyperLink::SetText(const QString& text)
{
    text_ = text;
    FitToText();
    update();
}

void CHyperLink::SetFont(int height, int weight)
{
    normalFont_ = font();
    normalFont_.setPixelSize(height);
    normalFont_.setWeight(static_cast<QFont::Weight>(weight));
    underlineFont_ = normalFont_;
    underlineFont_.setUnderline(true);
    FitToText();
    update();
}

void CHyperLink::SetUnderline(int mode)
{
    underline_ = mode;
    update();
}

QColor CHyperLink::CurrentColour() const
{
    if (hovering_)
        return kHoverColour;
    return visited_ ? kVisitedColour : kLinkColour;
}

QSize CHyperLink::sizeHint() const
{
    const QFontMetrics metrics(normalFont_);
    return QSize(metrics.horizontalAdvance(text_) + 2, metrics.height() + 2);
}

void CHyperLink::FitToText()
{
    if (fitToText_)
        resize(sizeHint());
}

void CHyperLink::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(hovering_ || underline_ == 1 ? underlineFont_ : normalFont_);
    painter.setPen(CurrentColour());
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text_);
}

void CHyperLink::enterEvent(QEnterEvent* event)
{
    hovering_ = true;
    update();
    QWidget::enterEvent(event);
}

void CHyperLink::leaveEvent(QEvent* event)
{
    hovering_ = false;
    update();
    QWidget::leaveEvent(event);
}

void CHyperLink::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint()))
        return;
    if (OpenLink(url_)) {
        visited_ = true;
        update();
    }
}

bool CHyperLink::OpenLink(const QString& address)
{
    if (address.isEmpty())
        return false;
    if (QDesktopServices::openUrl(QUrl::fromUserInput(address)))
        return true;
    return QProcess::startDetached(QStringLiteral("xdg-open"), {address});
}
