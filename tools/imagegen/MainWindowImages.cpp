#include "MainWindowImages.h"

#include "DrawingKit.h"

#include <QLinearGradient>
#include <QString>

using namespace imagegen;

namespace {

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

} // namespace

void MainWindowImages::Add(std::map<int, QImage>& images)
{
    images[128] = DrawProgramIcon();
    images[129] = DrawBackground();
    images[130] = DrawQuit();
    images[131] = DrawMinimise();
    images[132] = DrawMenu();
    images[133] = DrawHelp();
}
