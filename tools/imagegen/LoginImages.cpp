#include "LoginImages.h"

#include "DrawingKit.h"

#include <QString>

using namespace imagegen;

namespace {

QImage DrawLoginButton()
{
    QImage image = Blank(220, 30);
    QPainter p(&image);
    Smooth(p);
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawRoundedRect(QRectF(0, 0, 220, 30), 4, 4);
    p.setPen(Qt::white);
    p.setFont(Font(15, true));
    Words(p, QRectF(0, 0, 220, 30), Qt::AlignCenter, QT_TRANSLATE_NOOP("UiText", "登  录"));
    return image;
}

// Field frame with a small symbol in its left 20 pixels (the field starts there).
QImage DrawFieldFrame(bool password)
{
    QImage image = Blank(230, 35);
    QPainter p(&image);
    Smooth(p);
    p.setPen(QPen(kFrame, 1));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(0.5, 0.5, 229, 34), 3, 3);
    p.setPen(Stroke(kMuted, 1.4));
    p.setBrush(Qt::NoBrush);
    if (password) {
        p.drawRoundedRect(QRectF(5, 16, 11, 9), 1.5, 1.5);
        p.drawArc(QRectF(7, 10, 7, 10), 0, 180 * 16);
    } else {
        p.drawEllipse(QRectF(7.5, 9, 6, 6));
        p.drawArc(QRectF(4.5, 16, 12, 12), 20 * 16, 140 * 16);
    }
    return image;
}

void Label(QPainter& p, const QRectF& rect, const char* source)
{
    p.setPen(kMuted);
    p.setFont(Font(13));
    Words(p, rect, Qt::AlignCenter, source);
}

// PC, cloud, gateway and the field devices behind it, joined by their links.
QImage DrawIllustration()
{
    QImage image = Blank(572, 360, Qt::white);
    QPainter p(&image);
    Smooth(p);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(243, 248, 252));
    p.drawEllipse(QRectF(16, 40, 540, 300));
    p.setBrush(QColor(233, 242, 250));
    p.drawEllipse(QRectF(96, 110, 380, 200));

    // links (drawn first so the shapes sit on them)
    QPen dashed(kAccent, 2.5, Qt::DashLine, Qt::RoundCap);
    dashed.setDashPattern({3, 3});
    p.setPen(dashed);
    p.setBrush(Qt::NoBrush);
    QPainterPath left;
    left.moveTo(118, 180);
    left.cubicTo(118, 120, 160, 92, 222, 92);
    p.drawPath(left);
    QPainterPath right;
    right.moveTo(352, 92);
    right.cubicTo(420, 92, 452, 118, 452, 168);
    p.drawPath(right);
    p.setPen(Stroke(kFrame, 2));
    p.drawLine(QPointF(452, 248), QPointF(452, 262));
    p.drawLine(QPointF(372, 262), QPointF(526, 262));
    for (qreal x : {372.0, 452.0, 526.0})
        p.drawLine(QPointF(x, 262), QPointF(x, 276));

    // cloud with an up-and-down arrow pair
    const QRectF cloudBox(212, 40, 150, 90);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 18));
    p.drawPath(CloudPath(cloudBox.translated(0, 5)));
    p.setBrush(kAccent);
    p.drawPath(CloudPath(cloudBox));
    p.setPen(Stroke(Qt::white, 3.5));
    p.drawLine(QPointF(274, 108), QPointF(274, 76));
    p.drawPolyline(QPolygonF({QPointF(265, 85), QPointF(274, 76), QPointF(283, 85)}));
    p.drawLine(QPointF(300, 76), QPointF(300, 108));
    p.drawPolyline(QPolygonF({QPointF(291, 99), QPointF(300, 108), QPointF(309, 99)}));
    Label(p, QRectF(212, 132, 150, 22), QT_TRANSLATE_NOOP("UiText", "云平台"));

    // PC
    DrawMonitor(p, QRectF(58, 182, 120, 80), QColor(70, 80, 92), kAccentLight);
    p.setPen(Stroke(kAccent, 3));
    p.drawPolyline(QPolygonF({QPointF(84, 238), QPointF(102, 218), QPointF(118, 228), QPointF(146, 200)}));
    p.setPen(Stroke(kFrame, 2));
    p.drawLine(QPointF(84, 246), QPointF(152, 246));
    Label(p, QRectF(58, 296, 120, 22), QT_TRANSLATE_NOOP("UiText", "电脑"));

    // gateway
    DrawGatewayBox(p, QRectF(420, 180, 64, 68), 1.6);
    Label(p, QRectF(492, 200, 70, 22), QT_TRANSLATE_NOOP("UiText", "网关"));

    // field devices: a controller, a meter and a drive
    p.setPen(QPen(kFrame, 1.5));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(350, 276, 44, 40), 3, 3);
    p.drawRoundedRect(QRectF(430, 276, 44, 40), 3, 3);
    p.drawRoundedRect(QRectF(504, 276, 44, 40), 3, 3);
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    for (int i = 0; i < 4; ++i)
        p.drawRect(QRectF(356 + i * 9, 284, 5, 10));
    p.setBrush(kPanel);
    p.drawRect(QRectF(356, 300, 32, 8));
    p.setPen(QPen(kText, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(438, 282, 28, 28), 30 * 16, 120 * 16);
    p.setPen(Stroke(kRed, 2));
    p.drawLine(QPointF(452, 296), QPointF(460, 288));
    p.setPen(Stroke(kText, 1.5));
    p.drawEllipse(QRectF(514, 284, 24, 24));
    p.drawLine(QPointF(526, 288), QPointF(526, 304));
    p.drawLine(QPointF(518, 296), QPointF(534, 296));
    Label(p, QRectF(340, 320, 220, 22), QT_TRANSLATE_NOOP("UiText", "现场设备"));
    return image;
}

} // namespace

void LoginImages::Add(std::map<int, QImage>& images)
{
    images[134] = DrawLoginButton();
    images[135] = DrawIllustration();
    images[136] = DrawFieldFrame(false);
    images[137] = DrawFieldFrame(true);
}
