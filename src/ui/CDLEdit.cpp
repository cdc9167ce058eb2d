#include "ui/CDLEdit.h"

#include <QPainter>
#include <QPalette>

const QColor CDLEdit::kBorder(234, 234, 234);
const QColor CDLEdit::kFocusBorder(51, 139, 192);
const QColor CDLEdit::kHoverGlow(96, 200, 253);
const QColor CDLEdit::kPromptColour(192, 192, 192);

CDLEdit::CDLEdit(QWidget* parent) : QLineEdit(parent)
{
    setFrame(false);
    setAttribute(Qt::WA_Hover);
    QFont songti(QStringLiteral("宋体"));
    songti.setPixelSize(16); // 12 points
    setFont(songti);
    setTextMargins(3, 0, 3, 0);
    QPalette colours = palette();
    colours.setColor(QPalette::Base, Qt::white);
    colours.setColor(QPalette::Text, Qt::black);
    colours.setColor(QPalette::PlaceholderText, kPromptColour);
    setPalette(colours);
    setPlaceholderText(prompt_);
}

void CDLEdit::SetPromptText(const QString& prompt)
{
    prompt_ = prompt;
    setPlaceholderText(prompt_);
}

QColor CDLEdit::FrameColour() const
{
    if (hovering_)
        return kHoverGlow;
    return hasFocus() ? kFocusBorder : kBorder;
}

void CDLEdit::paintEvent(QPaintEvent* event)
{
    QLineEdit::paintEvent(event);
    QPainter painter(this);
    painter.setPen(FrameColour());
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void CDLEdit::enterEvent(QEnterEvent* event)
{
    hovering_ = true;
    update();
    QLineEdit::enterEvent(event);
}

void CDLEdit::leaveEvent(QEvent* event)
{
    hovering_ = false;
    update();
    QLineEdit::leaveEvent(event);
}
