#include "HomeImages.h"

#include "DrawingKit.h"

#include <QString>

using namespace imagegen;

namespace {

QImage DrawSpeaker()
{
    QImage image = Blank(30, 30);
    QPainter p(&image);
    Smooth(p);
    p.setPen(Qt::NoPen);
    p.setBrush(kOrange);
    p.drawPolygon(QPolygonF(
        {QPointF(4, 11), QPointF(10, 11), QPointF(17, 5), QPointF(17, 25), QPointF(10, 19), QPointF(4, 19)}));
    p.setPen(Stroke(kOrange, 2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(14, 10, 8, 10), -50 * 16, 100 * 16);
    p.drawArc(QRectF(13, 6, 14, 18), -55 * 16, 110 * 16);
    return image;
}

QImage DrawCloudLogo()
{
    QImage image = Blank(70, 42);
    QPainter p(&image);
    Smooth(p);
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawPath(CloudPath(QRectF(2, 2, 66, 38)));
    p.setPen(Stroke(Qt::white, 3));
    p.drawPolyline(QPolygonF({QPointF(28, 16), QPointF(28, 31), QPointF(40, 31)}));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(42, 18), 2.8, 2.8);
    return image;
}

QImage DrawPhone()
{
    QImage image = Blank(26, 40);
    QPainter p(&image);
    Smooth(p);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(70, 80, 92));
    p.drawRoundedRect(QRectF(2, 1, 22, 38), 4, 4);
    p.setBrush(kAccentLight);
    p.drawRect(QRectF(4, 6, 18, 26));
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(13, 35.5), 1.8, 1.8);
    p.setBrush(kAccent);
    p.drawRoundedRect(QRectF(7, 12, 12, 4), 1, 1);
    p.drawRoundedRect(QRectF(7, 19, 8, 4), 1, 1);
    return image;
}

} // namespace

void HomeImages::Add(std::map<int, QImage>& images)
{
    images[166] = DrawSpeaker();
    images[167] = DrawCloudLogo();
    images[168] = DrawPhone();
}
