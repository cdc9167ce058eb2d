#include "ui/CMemDCPNG.h"

#include "platform/TextFit.h"

#include <QFontMetricsF>
#include <QWidget>

CMemDCPNG::CMemDCPNG(QWidget* widget, const QColor& background)
    : widget_(widget), image_(widget->size(), QImage::Format_ARGB32_Premultiplied)
{
    image_.fill(background);
    painter_.begin(&image_);
    painter_.setRenderHint(QPainter::Antialiasing);
    painter_.setRenderHint(QPainter::TextAntialiasing);
    painter_.setRenderHint(QPainter::SmoothPixmapTransform);
}

CMemDCPNG::~CMemDCPNG()
{
    painter_.end();
    QPainter screen(widget_);
    screen.setCompositionMode(QPainter::CompositionMode_Source);
    screen.drawImage(0, 0, image_);
}

void CMemDCPNG::Text(const QRectF& rect, const QString& text, const QFont& font, const QColor& colour,
                     Qt::Alignment horizontal)
{
    if (platform::TextFit::Enabled())
        platform::TextFit::Check(text, QFontMetricsF(font).horizontalAdvance(text), rect.width());
    painter_.setFont(font);
    painter_.setPen(colour);
    painter_.drawText(rect, horizontal | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip, text);
}

QFont CMemDCPNG::YaHei(double points, bool bold)
{
    QFont font(QStringLiteral("微软雅黑"));
    font.setPixelSize(qRound(points * 4.0 / 3.0));
    font.setBold(bold);
    return font;
}
