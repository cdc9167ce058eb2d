#include "AppIcon.h"

#include "DrawingKit.h"

#include <QFile>

#include <cstdio>

namespace {

// The shapes on the 256-unit grid.
constexpr qreal kGrid = 256;
constexpr qreal kTileMargin = 8, kTileRadius = 48;
constexpr qreal kStroke = 30;
const QPointF kLetter[] = {QPointF(84, 64), QPointF(84, 188), QPointF(176, 188)};
const QPointF kDot(182, 80);
constexpr qreal kDotRadius = 24;

} // namespace

const std::vector<int>& AppIcon::Sizes()
{
    static const std::vector<int> sizes = {16, 22, 24, 32, 48, 64, 128, 256};
    return sizes;
}

QImage AppIcon::Draw(int size)
{
    QImage image = imagegen::Blank(size, size);
    QPainter p(&image);
    imagegen::Smooth(p);
    p.scale(size / kGrid, size / kGrid);
    p.setPen(Qt::NoPen);
    p.setBrush(imagegen::kAccent);
    const qreal side = kGrid - 2 * kTileMargin;
    p.drawRoundedRect(QRectF(kTileMargin, kTileMargin, side, side), kTileRadius, kTileRadius);
    p.setPen(imagegen::Stroke(Qt::white, kStroke));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(kLetter, 3);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(kDot, kDotRadius, kDotRadius);
    return image;
}

QString AppIcon::Svg()
{
    const qreal side = kGrid - 2 * kTileMargin;
    QString points;
    for (const QPointF& point : kLetter)
        points += QStringLiteral("%1,%2 ").arg(point.x()).arg(point.y());
    return QStringLiteral(
               "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%1\" viewBox=\"0 0 %1 %1\">\n"
               "  <rect x=\"%2\" y=\"%2\" width=\"%3\" height=\"%3\" rx=\"%4\" fill=\"%5\"/>\n"
               "  <polyline points=\"%6\" fill=\"none\" stroke=\"#ffffff\" stroke-width=\"%7\" "
               "stroke-linecap=\"round\" stroke-linejoin=\"round\"/>\n"
               "  <circle cx=\"%8\" cy=\"%9\" r=\"%10\" fill=\"#ffffff\"/>\n"
               "</svg>\n")
        .arg(kGrid)
        .arg(kTileMargin)
        .arg(side)
        .arg(kTileRadius)
        .arg(imagegen::kAccent.name())
        .arg(points.trimmed())
        .arg(kStroke)
        .arg(kDot.x())
        .arg(kDot.y())
        .arg(kDotRadius);
}

bool AppIcon::WriteAll(const QDir& folder)
{
    for (int size : Sizes()) {
        const QString path = folder.filePath(QStringLiteral("lumetra-%1.png").arg(size));
        if (!Draw(size).save(path, "PNG")) {
            std::fprintf(stderr, "lumetra-imagegen: cannot write %s\n", qPrintable(path));
            return false;
        }
    }
    QFile svg(folder.filePath(QStringLiteral("lumetra.svg")));
    if (!svg.open(QIODevice::WriteOnly | QIODevice::Truncate) || svg.write(Svg().toUtf8()) < 0) {
        std::fprintf(stderr, "lumetra-imagegen: cannot write %s\n", qPrintable(svg.fileName()));
        return false;
    }
    return true;
}
