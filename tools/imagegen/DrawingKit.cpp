#include "DrawingKit.h"

#include <QCoreApplication>
#include <QFontMetrics>

#include <cstdio>
#include <cstdlib>

#include <QString>

#include <algorithm>

namespace imagegen {

QImage Blank(int width, int height, const QColor& fill)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(fill);
    return image;
}

QFont Font(int pixelSize, bool bold)
{
    QFont font(QStringLiteral("微软雅黑"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

void Words(QPainter& p, const QRectF& rect, int flags, const char* source)
{
    const QString text = QCoreApplication::translate("UiText", source);
    const int width = QFontMetrics(p.font()).horizontalAdvance(text);
    if (width > rect.width()) {
        std::fprintf(stderr, "lumetra-imagegen: \"%s\" is %d pixels wide, its place %g\n", qPrintable(text),
                     width, rect.width());
        std::exit(1);
    }
    p.drawText(rect, flags, text);
}

void Smooth(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
}

QPen Stroke(const QColor& colour, qreal width)
{
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

QPainterPath CloudPath(const QRectF& box)
{
    const qreal w = box.width();
    const qreal h = box.height();
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    path.addRoundedRect(QRectF(box.left(), box.top() + h * 0.45, w, h * 0.55), h * 0.27, h * 0.27);
    path.addEllipse(QRectF(box.left() + w * 0.12, box.top() + h * 0.25, w * 0.36, h * 0.6));
    path.addEllipse(QRectF(box.left() + w * 0.32, box.top(), w * 0.42, h * 0.75));
    path.addEllipse(QRectF(box.left() + w * 0.58, box.top() + h * 0.3, w * 0.3, h * 0.5));
    return path.simplified();
}

void DrawMonitor(QPainter& p, const QRectF& screen, const QColor& frame, const QColor& glass)
{
    p.setPen(Qt::NoPen);
    p.setBrush(frame);
    p.drawRoundedRect(screen, screen.height() * 0.08, screen.height() * 0.08);
    const qreal b = std::max<qreal>(1.5, screen.height() * 0.08);
    p.setBrush(glass);
    p.drawRect(screen.adjusted(b, b, -b, -b * 1.6));
    const qreal cx = screen.center().x();
    p.setBrush(frame);
    p.drawRect(
        QRectF(cx - screen.width() * 0.07, screen.bottom(), screen.width() * 0.14, screen.height() * 0.16));
    p.drawRoundedRect(QRectF(cx - screen.width() * 0.25, screen.bottom() + screen.height() * 0.15,
                             screen.width() * 0.5, screen.height() * 0.07),
                      1.5, 1.5);
}

void DrawGatewayBox(QPainter& p, const QRectF& box, qreal scale)
{
    p.setPen(Stroke(kText, 1.6 * scale));
    p.drawLine(QPointF(box.left() + box.width() * 0.25, box.top()),
               QPointF(box.left() + box.width() * 0.18, box.top() - box.height() * 0.3));
    p.drawLine(QPointF(box.right() - box.width() * 0.25, box.top()),
               QPointF(box.right() - box.width() * 0.18, box.top() - box.height() * 0.3));
    p.setPen(QPen(kAccentDark, 1.2 * scale));
    p.setBrush(kAccent);
    p.drawRoundedRect(box, 3 * scale, 3 * scale);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 60));
    p.drawRect(QRectF(box.left() + box.width() * 0.15, box.top() + box.height() * 0.15, box.width() * 0.7,
                      box.height() * 0.12));
    const QColor leds[] = {QColor(120, 230, 140), QColor(120, 230, 140), QColor(255, 210, 90)};
    for (int i = 0; i < 3; ++i) {
        p.setBrush(leds[i]);
        p.drawEllipse(QPointF(box.left() + box.width() * (0.3 + 0.2 * i), box.bottom() - box.height() * 0.2),
                      1.8 * scale, 1.8 * scale);
    }
}

} // namespace imagegen
