#include "ui/pngbutton/CGdipButton.h"

#include "ui/pngbutton/CGdiPlusBitmapResource.h"

#include <QPainter>

#include <algorithm>

namespace {

int Clamp(double v)
{
    return std::clamp(static_cast<int>(v + 0.5), 0, 255);
}

template <typename Transform> QImage MapPixels(const QImage& source, Transform transform)
{
    QImage image = source.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = transform(line[x]);
    }
    return image;
}

} // namespace

CGdipButton::CGdipButton(QWidget* parent, int id) : QAbstractButton(parent), id_(id)
{
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::NoFocus);
}

bool CGdipButton::LoadStdImage(int pngId)
{
    std_ = CGdiPlusBitmapResource::Get(pngId);
    built_ = false;
    update();
    return !std_.isNull();
}

bool CGdipButton::LoadAltImage(int pngId)
{
    alt_ = CGdiPlusBitmapResource::Get(pngId);
    built_ = false;
    update();
    return !alt_.isNull();
}

QSize CGdipButton::sizeHint() const
{
    return std_.isNull() ? QSize(20, 20) : std_.size();
}

QImage CGdipButton::Brighten(const QImage& image)
{
    return MapPixels(image, [](QRgb p) {
        auto up = [](int c) { return Clamp(c * 1.05 + 0.05 * 255); };
        return qRgba(up(qRed(p)), up(qGreen(p)), up(qBlue(p)), qAlpha(p));
    });
}

QImage CGdipButton::Grey(const QImage& image)
{
    return MapPixels(image, [](QRgb p) {
        const int g = Clamp(0.30 * qRed(p) + 0.59 * qGreen(p) + 0.11 * qBlue(p));
        return qRgba(g, g, g, qAlpha(p));
    });
}

QImage CGdipButton::Shifted(const QImage& image) const
{
    QImage canvas(image.size(), QImage::Format_ARGB32);
    canvas.fill(Qt::transparent);
    QPainter p(&canvas);
    p.drawImage(1, 1, image);
    return canvas;
}

void CGdipButton::BuildRenderings()
{
    renderings_[int(Look::Std)] = std_;
    renderings_[int(Look::StdPressed)] = Shifted(std_);
    renderings_[int(Look::StdHover)] = Brighten(std_);
    renderings_[int(Look::StdDisabled)] = Grey(std_);
    if (!alt_.isNull()) {
        renderings_[int(Look::Alt)] = alt_;
        renderings_[int(Look::AltPressed)] = Shifted(alt_);
        renderings_[int(Look::AltHover)] = Brighten(alt_);
    }
    built_ = true;
}

QImage CGdipButton::Rendering(Look look) const
{
    return renderings_[int(look)];
}

CGdipButton::Look CGdipButton::CurrentLook() const
{
    const bool alt = ShowsAlternate() && !alt_.isNull();
    if (!isEnabled())
        return Look::StdDisabled;
    if (isDown())
        return alt ? Look::AltPressed : Look::StdPressed;
    if (alt)
        return hovering_ ? Look::AltHover : Look::Alt;
    return hovering_ ? Look::StdHover : Look::Std;
}

void CGdipButton::paintEvent(QPaintEvent*)
{
    if (std_.isNull())
        return;
    if (!built_)
        BuildRenderings();
    QPainter painter(this);
    painter.drawImage(0, 0, renderings_[int(CurrentLook())]);
}

void CGdipButton::enterEvent(QEnterEvent* event)
{
    hovering_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void CGdipButton::leaveEvent(QEvent* event)
{
    hovering_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}
