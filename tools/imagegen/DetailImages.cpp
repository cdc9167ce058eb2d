#include "DetailImages.h"

#include "DrawingKit.h"

#include <QString>

using namespace imagegen;

namespace {

QImage DrawRoundMark(const QColor& fill, bool tick)
{
    QImage image = Blank(22, 22);
    QPainter p(&image);
    Smooth(p);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawEllipse(QRectF(2, 2, 18, 18));
    p.setPen(Stroke(Qt::white, 2.2));
    if (tick) {
        p.drawPolyline(QPolygonF({QPointF(6.5, 11.5), QPointF(9.5, 14.5), QPointF(15.5, 8)}));
    } else {
        p.drawLine(QPointF(7.5, 7.5), QPointF(14.5, 14.5));
        p.drawLine(QPointF(14.5, 7.5), QPointF(7.5, 14.5));
    }
    return image;
}

QImage DrawPcScreen()
{
    QImage image = Blank(30, 30);
    QPainter p(&image);
    Smooth(p);
    DrawMonitor(p, QRectF(2, 3, 26, 18), QColor(70, 80, 92), kAccentLight);
    return image;
}

QImage DrawLinkBar()
{
    QImage image = Blank(112, 15);
    QPainter p(&image);
    Smooth(p);
    p.setPen(Qt::NoPen);
    p.setBrush(kAccentLight);
    p.drawRoundedRect(QRectF(0, 4, 112, 7), 3.5, 3.5);
    p.setBrush(kAccent);
    for (int x = 8; x < 104; x += 14)
        p.drawRoundedRect(QRectF(x, 5.5, 8, 4), 2, 2);
    p.drawPolygon(QPolygonF({QPointF(104, 2), QPointF(112, 7.5), QPointF(104, 13)}));
    p.drawPolygon(QPolygonF({QPointF(8, 2), QPointF(0, 7.5), QPointF(8, 13)}));
    return image;
}

QImage DrawCloud(int width, int height)
{
    QImage image = Blank(width, height);
    QPainter p(&image);
    Smooth(p);
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawPath(CloudPath(QRectF(1, 1, width - 2, height - 2)));
    return image;
}

QImage DrawGateway()
{
    QImage image = Blank(33, 40);
    QPainter p(&image);
    Smooth(p);
    DrawGatewayBox(p, QRectF(3, 12, 27, 26), 0.8);
    return image;
}

QImage DrawSwitch(bool on)
{
    QImage image = Blank(66, 25);
    QPainter p(&image);
    Smooth(p);
    p.setPen(Qt::NoPen);
    p.setBrush(on ? kAccent : QColor(200, 200, 200));
    p.drawRoundedRect(QRectF(0, 0, 66, 25), 12.5, 12.5);
    p.setBrush(Qt::white);
    p.drawEllipse(on ? QRectF(43, 2, 21, 21) : QRectF(2, 2, 21, 21));
    p.setPen(Qt::white);
    p.setFont(Font(12, true));
    p.drawText(on ? QRectF(4, 0, 38, 25) : QRectF(24, 0, 40, 25), Qt::AlignCenter,
               on ? QStringLiteral("ON") : QStringLiteral("OFF"));
    return image;
}

QImage DrawRowButton(bool on)
{
    QImage image = Blank(130, 29);
    QPainter p(&image);
    Smooth(p);
    p.setPen(QPen(kAccent, 1));
    p.setBrush(on ? kAccent : QColor(Qt::white));
    p.drawRoundedRect(QRectF(0.5, 0.5, 129, 28), 4, 4);
    p.setPen(on ? QColor(Qt::white) : kAccent);
    p.setFont(Font(13, true));
    Words(p, QRectF(0, 0, 130, 29), Qt::AlignCenter,
          on ? QT_TRANSLATE_NOOP("UiText", "关闭通道") : QT_TRANSLATE_NOOP("UiText", "打开通道"));
    return image;
}

} // namespace

void DetailImages::Add(std::map<int, QImage>& images)
{
    images[145] = DrawRoundMark(kGreen, true);
    images[146] = DrawRoundMark(kRed, false);
    images[147] = DrawPcScreen();
    images[148] = DrawLinkBar();
    images[149] = DrawCloud(50, 30);
    images[150] = DrawGateway();
    images[151] = DrawSwitch(false);
    images[152] = DrawSwitch(true);
    images[176] = DrawRowButton(true);
    images[177] = DrawRowButton(false);
}
