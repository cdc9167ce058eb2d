#pragma once

#include <QAbstractButton>
#include <QImage>

// A push button drawn from PNG images: a standard image and an optional alternate
// one. Its renderings (standard, pressed, hovered, disabled; alternate, pressed,
// hovered) are made once, on the first paint after the standard image is loaded,
// and reused by every later paint. Transparent parts of the images show the parent.
class CGdipButton : public QAbstractButton
{
public:
    explicit CGdipButton(QWidget* parent = nullptr, int id = 0);

    // The control identifier (as in a dialog template).
    int Id() const { return id_; }

    bool LoadStdImage(int pngId);
    bool LoadAltImage(int pngId);
    bool HasStdImage() const { return !std_.isNull(); }
    bool HasAltImage() const { return !alt_.isNull(); }
    bool IsHovering() const { return hovering_; }

    QSize sizeHint() const override;

    // The renderings (valid after the first paint).
    enum class Look
    {
        Std,
        StdPressed,
        StdHover,
        StdDisabled,
        Alt,
        AltPressed,
        AltHover
    };
    QImage Rendering(Look look) const;
    // Brighter: each colour channel times 1.05 plus 5 %; alpha unchanged.
    static QImage Brighten(const QImage& image);
    // Grey: each channel 0.30 red + 0.59 green + 0.11 blue; alpha unchanged.
    static QImage Grey(const QImage& image);

protected:
    // Whether the alternate image is the one shown now (a tab button's on state).
    virtual bool ShowsAlternate() const { return false; }
    // The look that the next paint shows.
    virtual Look CurrentLook() const;

    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void BuildRenderings();
    QImage Shifted(const QImage& image) const;

    int id_ = 0;
    QImage std_;
    QImage alt_;
    bool hovering_ = false;
    bool built_ = false;
    QImage renderings_[7];
};
