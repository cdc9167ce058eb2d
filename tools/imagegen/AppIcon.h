#pragma once

#include <QDir>
#include <QImage>
#include <QString>

#include <vector>

// The application icon of the desktop entry: the logo's tile (a rounded blue square
// with a white "L" and the device dot) filling the whole square. One set of shapes
// on a 256-unit grid gives both the PNG sizes of the hicolor theme and the SVG.
class AppIcon
{
public:
    // The hicolor sizes written, in pixels.
    static const std::vector<int>& Sizes();
    // The icon drawn at `size` x `size` pixels.
    static QImage Draw(int size);
    // The same shapes as an SVG document.
    static QString Svg();
    // Writes "lumetra-<size>.png" for every size and "lumetra.svg" into `folder`;
    // false when a file cannot be written.
    static bool WriteAll(const QDir& folder);
};
