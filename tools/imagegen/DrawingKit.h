#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>

// What every family of the client's images draws with: one flat look of white
// grounds, panels in light grey, grey frames and the accent blue.
namespace imagegen {

inline const QColor kAccent(0, 123, 195);
inline const QColor kAccentDark(0, 92, 150);
inline const QColor kAccentLight(222, 237, 248);
inline const QColor kPanel(238, 238, 238);
inline const QColor kFrame(154, 154, 154);
inline const QColor kText(64, 64, 64);
inline const QColor kMuted(120, 120, 120);
inline const QColor kGreen(46, 164, 79);
inline const QColor kRed(214, 69, 65);
inline const QColor kOrange(236, 152, 32);

// An image of the given size filled with `fill`.
QImage Blank(int width, int height, const QColor& fill = Qt::transparent);
// The client's font at a pixel size.
QFont Font(int pixelSize, bool bold = false);
// Draws the program's text whose Chinese source text is `source` (written as
// QT_TRANSLATE_NOOP("UiText", "...") so that lupdate finds it) in the language of the
// installed translator, in the painter's font. A text wider than `rect` ends the
// program with a message: the images are made for fixed places in the window.
void Words(QPainter& p, const QRectF& rect, int flags, const char* source);
// Antialiased shapes, text and scaled pictures.
void Smooth(QPainter& p);
// A solid pen with round caps and joins.
QPen Stroke(const QColor& colour, qreal width);
// A cloud outline inside `box`: three bumps over a flat base.
QPainterPath CloudPath(const QRectF& box);
// A monitor: `screen` is the framed glass; the stand goes below it.
void DrawMonitor(QPainter& p, const QRectF& screen, const QColor& frame, const QColor& glass);
// The gateway: a blue box with two antennas and three status lights, drawn at `scale`.
void DrawGatewayBox(QPainter& p, const QRectF& box, qreal scale);

} // namespace imagegen
