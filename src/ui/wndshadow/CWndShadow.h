#pragma once

#include <QColor>
#include <QImage>
#include <QObject>
#include <QSize>
#include <memory>
#include <vector>

class QWidget;

// A soft drop shadow around a top-level window: a frameless, translucent companion
// window that lets the mouse through, follows its parent (move, resize, show, hide,
// minimise) and shows the shadow image computed by MakeShadow. The image has a hole
// exactly under the parent, so nothing of the shadow lies over the window itself.
// Where the window system cannot show translucent windows the shadow is silently
// absent.
class CWndShadow : public QObject
{
public:
    // Status bits.
    static constexpr unsigned kEnabled = 1;
    static constexpr unsigned kVisible = 2;
    static constexpr unsigned kParentVisible = 4;
    static constexpr unsigned kDisabledByComposition = 8;

    CWndShadow();
    ~CWndShadow() override;

    // Once per process: whether translucent companion windows can be shown here.
    static bool Initialize();
    static bool IsAvailable();

    // Attaches the shadow to `parent` (a top-level window). False when the shadow is
    // not available; the parent works without it.
    bool Create(QWidget* parent);

    // Setters return false and change nothing when the value is out of range.
    bool SetSize(int size);           // -20 to 20
    bool SetSharpness(int sharpness); // 0 to 20
    bool SetDarkness(int darkness);   // 0 to 255
    bool SetPosition(int x, int y);   // each -20 to 20
    bool SetColor(const QColor& colour);

    unsigned Status() const { return status_; }
    QWidget* Window() const { return window_.get(); }

    // One row of a window shape: the pixels [start, end) are inside; a row with
    // nothing inside has start >= end.
    struct Span
    {
        int start = 0;
        int end = 0;
    };
    // The shadow of a window of `w` x `h` pixels whose rows are `rows` (h entries;
    // empty means the full rectangle), as premultiplied ARGB of (w + 2 size) x
    // (h + 2 size) pixels. The window is placed at (parent + offset - size).
    static QImage MakeShadow(int w, int h, const std::vector<Span>& rows, int size, int sharpness,
                             int darkness, int offsetX, int offsetY, const QColor& colour);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Show();
    void Update();
    void MoveToParent();

    QWidget* parent_ = nullptr;
    std::unique_ptr<QWidget> window_;
    unsigned status_ = 0;
    int darkness_ = 150;
    int sharpness_ = 5;
    int size_ = 0;
    int offsetX_ = 0;
    int offsetY_ = 0;
    QColor colour_ = Qt::black;
    QSize lastSize_;
    bool updatePending_ = false;
};
