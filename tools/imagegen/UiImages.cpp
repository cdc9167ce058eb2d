#include "UiImages.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QString>

#include <cmath>
#include <cstdio>

namespace {

const QColor kAccent(0, 123, 195);
const QColor kAccentDark(0, 92, 150);
const QColor kAccentLight(222, 237, 248);
const QColor kPanel(238, 238, 238);
const QColor kFrame(154, 154, 154);
const QColor kText(64, 64, 64);
const QColor kMuted(120, 120, 120);
const QColor kGreen(46, 164, 79);
const QColor kRed(214, 69, 65);
const QColor kOrange(236, 152, 32);

QImage Blank(int width, int height, const QColor& fill = Qt::transparent)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(fill);
    return image;
}

QFont Font(int pixelSize, bool bold = false)
{
    QFont font(QStringLiteral("微软雅黑"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
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

// A cloud outline inside `box`: three bumps over a flat base.
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

// --- main window -----------------------------------------------------------------

// Stretched over the 920 x 600 client area: the top 85 rows become the title band.
QImage DrawBackground()
{
    const int w = 1902;
    const int h = 1312;
    const int band = 186; // 85 of 600 rows
    QImage image = Blank(w, h, kPanel);
    QPainter p(&image);
    Smooth(p);
    QLinearGradient gradient(0, 0, w, band);
    gradient.setColorAt(0, kAccent);
    gradient.setColorAt(1, kAccentDark);
    p.fillRect(0, 0, w, band, gradient);
    // a faint network of nodes on the right of the band
    p.setPen(Stroke(QColor(255, 255, 255, 28), 3));
    const QPointF nodes[] = {{1180, 150}, {1290, 60}, {1420, 130}, {1540, 40},
                             {1650, 120}, {1780, 70}, {1880, 160}};
    for (size_t i = 1; i < sizeof nodes / sizeof nodes[0]; ++i)
        p.drawLine(nodes[i - 1], nodes[i]);
    p.drawLine(nodes[1], nodes[3]);
    p.drawLine(nodes[4], nodes[6]);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 40));
    for (const QPointF& node : nodes)
        p.drawEllipse(node, 9, 9);
    p.fillRect(0, band, w, 4, QColor(0, 0, 0, 20));
    return image;
}

QImage DrawQuit()
{
    QImage image = Blank(23, 23);
    QPainter p(&image);
    Smooth(p);
    p.setPen(Stroke(Qt::white, 2));
    p.drawLine(QPointF(6.5, 6.5), QPointF(16.5, 16.5));
    p.drawLine(QPointF(16.5, 6.5), QPointF(6.5, 16.5));
    return image;
}

QImage DrawMinimise()
{
    QImage image = Blank(23, 23);
    QPainter p(&image);
    Smooth(p);
    p.setPen(Stroke(Qt::white, 2));
    p.drawLine(QPointF(6, 15.5), QPointF(17, 15.5));
    return image;
}

// Menu: three short lines.
QImage DrawMenu()
{
    QImage image = Blank(20, 20);
    QPainter p(&image);
    Smooth(p);
    p.setPen(Stroke(Qt::white, 1.8));
    for (qreal y : {5.5, 10.0, 14.5})
        p.drawLine(QPointF(4, y), QPointF(16, y));
    return image;
}

// Help: a ringed question mark.
QImage DrawHelp()
{
    QImage image = Blank(20, 20);
    QPainter p(&image);
    Smooth(p);
    p.setPen(Stroke(Qt::white, 1.6));
    p.drawEllipse(QRectF(2.5, 2.5, 15, 15));
    p.setFont(Font(12, true));
    p.drawText(QRectF(2, 2, 16, 16), Qt::AlignCenter, QStringLiteral("?"));
    return image;
}

QImage DrawProgramIcon()
{
    QImage image = Blank(16, 16);
    QPainter p(&image);
    Smooth(p);
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawRoundedRect(QRectF(0, 0, 16, 16), 3.5, 3.5);
    p.setPen(Stroke(Qt::white, 2));
    p.drawPolyline(QPolygonF({QPointF(5, 3.5), QPointF(5, 12), QPointF(11.5, 12)}));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(11.5, 5), 1.7, 1.7);
    return image;
}

// --- login view --------------------------------------------------------------------

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
    p.drawText(QRectF(0, 0, 220, 30), Qt::AlignCenter, QStringLiteral("登  录"));
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

void Label(QPainter& p, const QRectF& rect, const QString& text)
{
    p.setPen(kMuted);
    p.setFont(Font(13));
    p.drawText(rect, Qt::AlignCenter, text);
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
    Label(p, QRectF(212, 132, 150, 22), QStringLiteral("云平台"));

    // PC
    DrawMonitor(p, QRectF(58, 182, 120, 80), QColor(70, 80, 92), kAccentLight);
    p.setPen(Stroke(kAccent, 3));
    p.drawPolyline(QPolygonF({QPointF(84, 238), QPointF(102, 218), QPointF(118, 228), QPointF(146, 200)}));
    p.setPen(Stroke(kFrame, 2));
    p.drawLine(QPointF(84, 246), QPointF(152, 246));
    Label(p, QRectF(58, 296, 120, 22), QStringLiteral("电脑"));

    // gateway
    DrawGatewayBox(p, QRectF(420, 180, 64, 68), 1.6);
    Label(p, QRectF(492, 200, 70, 22), QStringLiteral("网关"));

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
    Label(p, QRectF(340, 320, 220, 22), QStringLiteral("现场设备"));
    return image;
}

// --- gateway tree ------------------------------------------------------------------

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

QImage DrawTab(const QString& label, bool selected)
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
    p.drawText(QRectF(0, 2, 90, 30), Qt::AlignCenter, label);
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
    p.drawText(QRectF(28, 0, 44, 31), Qt::AlignCenter, QStringLiteral("查询"));
    return image;
}

// --- gateway detail and device table -------------------------------------------------

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
    p.drawText(QRectF(0, 0, 130, 29), Qt::AlignCenter,
               on ? QStringLiteral("关闭通道") : QStringLiteral("打开通道"));
    return image;
}

// --- home page -------------------------------------------------------------------------

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

std::map<int, QImage> UiImages::DrawAll()
{
    std::map<int, QImage> images;
    images[128] = DrawProgramIcon();
    images[129] = DrawBackground();
    images[130] = DrawQuit();
    images[131] = DrawMinimise();
    images[132] = DrawMenu();
    images[133] = DrawHelp();
    images[134] = DrawLoginButton();
    images[135] = DrawIllustration();
    images[136] = DrawFieldFrame(false);
    images[137] = DrawFieldFrame(true);
    images[138] = DrawHome();
    images[139] = DrawAdd();
    images[140] = DrawAlarm();
    images[141] = DrawStateIcon(kGreen, false);
    images[142] = DrawStateIcon(QColor(180, 180, 180), true);
    images[143] = DrawStateIcon(kOrange, false);
    images[145] = DrawRoundMark(kGreen, true);
    images[146] = DrawRoundMark(kRed, false);
    images[147] = DrawPcScreen();
    images[148] = DrawLinkBar();
    images[149] = DrawCloud(50, 30);
    images[150] = DrawGateway();
    images[151] = DrawSwitch(false);
    images[152] = DrawSwitch(true);
    images[158] = DrawTab(QStringLiteral("所有网关"), false);
    images[159] = DrawTab(QStringLiteral("所有网关"), true);
    images[160] = DrawTab(QStringLiteral("搜索结果"), false);
    images[161] = DrawTab(QStringLiteral("搜索结果"), true);
    images[162] = DrawTab(QStringLiteral("搜索网关"), false);
    images[163] = DrawTab(QStringLiteral("搜索网关"), true);
    images[164] = DrawSearchButton();
    images[166] = DrawSpeaker();
    images[167] = DrawCloudLogo();
    images[168] = DrawPhone();
    images[176] = DrawRowButton(true);
    images[177] = DrawRowButton(false);
    return images;
}

bool UiImages::WriteAll(const QDir& folder)
{
    for (const auto& [number, image] : DrawAll()) {
        const QString path = folder.filePath(QStringLiteral("%1.png").arg(number));
        if (!image.save(path, "PNG")) {
            std::fprintf(stderr, "lumetra-imagegen: cannot write %s\n", qPrintable(path));
            return false;
        }
        std::printf("%s\n", qPrintable(path));
    }
    return true;
}
