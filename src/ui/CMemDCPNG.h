#pragma once

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRectF>

class QWidget;

// Off-screen drawing for the views: a 32-bit ARGB image of the widget's size with
// a painter on it; when the object goes, the image is copied to the widget in one
// step. Use it inside paintEvent only.
//
// Text is drawn in the views' way: one line (no wrapping, trailing blanks kept),
// vertically centred in its rectangle, left aligned unless asked otherwise. A text
// wider than its rectangle is reported by platform::TextFit.
class CMemDCPNG
{
public:
    explicit CMemDCPNG(QWidget* widget, const QColor& background = Qt::white);
    ~CMemDCPNG();

    CMemDCPNG(const CMemDCPNG&) = delete;
    CMemDCPNG& operator=(const CMemDCPNG&) = delete;

    QPainter& Painter() { return painter_; }
    const QImage& Image() const { return image_; }

    void Text(const QRectF& rect, const QString& text, const QFont& font, const QColor& colour = Qt::black,
              Qt::Alignment horizontal = Qt::AlignLeft);

    // The font "微软雅黑" at `points` points (4/3 pixels per point, as on a 96-dpi screen).
    static QFont YaHei(double points, bool bold = false);

private:
    QWidget* widget_;
    QImage image_;
    QPainter painter_;
};
