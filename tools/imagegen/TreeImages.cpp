#include "TreeImages.h"

#include "DrawingKit.h"

#include <QString>

using namespace imagegen;

namespace {

QImage FootButton()
{
    return Blank(40, 33);
}

QImage DrawHome()
{
    QImage image = FootButton();
    QPainter p(&image);
    Smooth(p);
    p.setPen(Stroke(kAccent, 2.2));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(9, 16), QPointF(20, 6), QPointF(31, 16)}));
    p.drawPolyline(QPolygonF({QPointF(12, 14), QPointF(12, 27), QPointF(28, 27), QPointF(28, 14)}));
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawRoundedRect(QRectF(17, 19, 6, 8), 1, 1);
    return image;
}

QImage DrawAdd()
{
    QImage image = FootButton();
    QPainter p(&image);
    Smooth(p);
    p.setPen(Stroke(kAccent, 2));
    p.drawEllipse(QRectF(9, 5, 22, 22));
    p.setPen(Stroke(kAccent, 2.4));
    p.drawLine(QPointF(20, 10.5), QPointF(20, 21.5));
    p.drawLine(QPointF(14.5, 16), QPointF(25.5, 16));
    return image;
}

QImage DrawAlarm()
{
    QImage image = FootButton();
    QPainter p(&image);
    Smooth(p);
    p.setPen(QPen(kOrange, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolygon(QPolygonF({QPointF(20, 5), QPointF(32, 27), QPointF(8, 27)}));
    p.setPen(Stroke(kOrange, 2.4));
    p.drawLine(QPointF(20, 12), QPointF(20, 19));
    p.drawPoint(QPointF(20, 23.5));
    return image;
}

// Tree state icons: a small gateway with a coloured status dot.
QImage DrawStateIcon(const QColor& dot, bool cross)
{
    QImage image = Blank(16, 16);
    QPainter p(&image);
    Smooth(p);
    p.setPen(Qt::NoPen);
    p.setBrush(cross ? kFrame : kAccent);
    p.drawRoundedRect(QRectF(1, 4, 11, 9), 1.5, 1.5);
    p.setBrush(QColor(255, 255, 255, 150));
    p.drawRect(QRectF(3, 6, 7, 1.5));
    p.setPen(Stroke(cross ? kFrame : kAccent, 1.2));
    p.drawLine(QPointF(3.5, 4), QPointF(2.5, 1.5));
    p.setPen(QPen(Qt::white, 1));
    p.setBrush(dot);
    p.drawEllipse(QPointF(11.5, 11.5), 3.6, 3.6);
    return image;
}

QImage DrawTab(const char* label, bool selected)
{
    QImage image = Blank(90, 32);
    QPainter p(&image);
    Smooth(p);
    p.setPen(QPen(selected ? kFrame : QColor(210, 210, 210), 1));
    p.setBrush(selected ? QColor(Qt::white) : kPanel);
    p.drawRoundedRect(QRectF(0.5, 0.5, 89, 34), 3, 3); // bottom edge left open
    if (selected) {
        p.setPen(Qt::NoPen);
        p.setBrush(kAccent);
        p.drawRect(QRectF(1, 1, 88, 3));
    }
    p.setPen(selected ? kAccent : kMuted);
    p.setFont(Font(14, selected));
    Words(p, QRectF(0, 2, 90, 30), Qt::AlignCenter, label);
    return image;
}

QImage DrawSearchButton()
{
    QImage image = Blank(80, 31);
    QPainter p(&image);
    Smooth(p);
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawRoundedRect(QRectF(0, 0, 80, 31), 4, 4);
    p.setPen(Stroke(Qt::white, 1.8));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(13, 9, 10, 10));
    p.drawLine(QPointF(21.5, 17.5), QPointF(25, 21));
    p.setPen(Qt::white);
    p.setFont(Font(14, true));
    Words(p, QRectF(28, 0, 44, 31), Qt::AlignCenter, QT_TRANSLATE_NOOP("UiText", "查询"));
    return image;
}

} // namespace

void TreeImages::Add(std::map<int, QImage>& images)
{
    images[138] = DrawHome();
    images[139] = DrawAdd();
    images[140] = DrawAlarm();
    images[141] = DrawStateIcon(kGreen, false);
    images[142] = DrawStateIcon(QColor(180, 180, 180), true);
    images[143] = DrawStateIcon(kOrange, false);
    images[158] = DrawTab(QT_TRANSLATE_NOOP("UiText", "所有网关"), false);
    images[159] = DrawTab(QT_TRANSLATE_NOOP("UiText", "所有网关"), true);
    images[160] = DrawTab(QT_TRANSLATE_NOOP("UiText", "搜索结果"), false);
    images[161] = DrawTab(QT_TRANSLATE_NOOP("UiText", "搜索结果"), true);
    images[162] = DrawTab(QT_TRANSLATE_NOOP("UiText", "搜索网关"), false);
    images[163] = DrawTab(QT_TRANSLATE_NOOP("UiText", "搜索网关"), true);
    images[164] = DrawSearchButton();
}
