#include "ui/wndshadow/CWndShadow.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QVariant>
#include <QWidget>
#include <QWindowStateChangeEvent>

#include <algorithm>
#include <cmath>
#include <cstdint>

#ifdef LUMETRA_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace {

// The application property that remembers whether shadows can be shown.
constexpr const char* kAvailableProperty = "lumetraShadowAvailable";

// The companion window: paints its image as it is, alpha included.
class ShadowWindow : public QWidget
{
public:
    ShadowWindow()
        : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowTransparentForInput |
                               Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint)
    {
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    QImage image;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(0, 0, image);
    }
};

// Whether an X11 compositing manager runs (translucent windows are shown as such).
bool X11HasCompositor()
{
#ifdef LUMETRA_HAVE_XCB
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr)
        return false;
    xcb_connection_t* connection = x11->connection();
    const QByteArray name = "_NET_WM_CM_S0";
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, static_cast<uint16_t>(name.size()), name.constData()),
        nullptr);
    if (atom == nullptr || atom->atom == XCB_ATOM_NONE) {
        free(atom);
        return false;
    }
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
    const bool running = owner != nullptr && owner->owner != XCB_NONE;
    free(owner);
    free(atom);
    return running;
#else
    return false;
#endif
}

uint32_t Premultiplied(const QColor& colour, int alpha)
{
    const uint32_t r = uint32_t(colour.red() * alpha / 255);
    const uint32_t g = uint32_t(colour.green() * alpha / 255);
    const uint32_t b = uint32_t(colour.blue() * alpha / 255);
    return (uint32_t(alpha) << 24) | (r << 16) | (g << 8) | b;
}

} // namespace

CWndShadow::CWndShadow() = default;

CWndShadow::~CWndShadow()
{
    if (parent_ != nullptr)
        parent_->removeEventFilter(this);
}

bool CWndShadow::Initialize()
{
    // The answer is a fact of the display the application runs on, so it is kept on
    // the application object, asked once.
    const QVariant known = qApp->property(kAvailableProperty);
    if (known.isValid())
        return known.toBool();
    // Window positions are the program's to choose only on X11; there the shadow
    // needs a compositing manager to be translucent.
    const bool available = QGuiApplication::platformName() == QLatin1String("xcb") && X11HasCompositor();
    qApp->setProperty(kAvailableProperty, available);
    return available;
}

bool CWndShadow::IsAvailable()
{
    return qApp != nullptr && qApp->property(kAvailableProperty).toBool();
}

bool CWndShadow::Create(QWidget* parent)
{
    if (!Initialize() || parent == nullptr)
        return false;
    parent_ = parent;
    window_ = std::make_unique<ShadowWindow>();
    status_ = kEnabled;
    parent_->installEventFilter(this);
    Show();
    return true;
}

bool CWndShadow::SetSize(int size)
{
    if (size < -20 || size > 20)
        return false;
    size_ = size;
    if (status_ & kVisible)
        Update();
    return true;
}

bool CWndShadow::SetSharpness(int sharpness)
{
    if (sharpness < 0 || sharpness > 20)
        return false;
    sharpness_ = sharpness;
    if (status_ & kVisible)
        Update();
    return true;
}

bool CWndShadow::SetDarkness(int darkness)
{
    if (darkness < 0 || darkness > 255)
        return false;
    darkness_ = darkness;
    if (status_ & kVisible)
        Update();
    return true;
}

bool CWndShadow::SetPosition(int x, int y)
{
    if (x < -20 || x > 20 || y < -20 || y > 20)
        return false;
    offsetX_ = x;
    offsetY_ = y;
    if (status_ & kVisible)
        Update();
    return true;
}

bool CWndShadow::SetColor(const QColor& colour)
{
    colour_ = colour;
    if (status_ & kVisible)
        Update();
    return true;
}

void CWndShadow::Show()
{
    status_ &= kEnabled | kDisabledByComposition;
    if ((status_ & kEnabled) && !(status_ & kDisabledByComposition) && parent_->isVisible()) {
        status_ |= kParentVisible;
        if (!parent_->isMinimized() && !parent_->isMaximized())
            status_ |= kVisible;
    }
    if (status_ & kVisible) {
        window_->show();
        Update();
    } else {
        window_->hide();
    }
}

void CWndShadow::MoveToParent()
{
    const QRect frame = parent_->frameGeometry();
    window_->move(frame.left() + offsetX_ - size_, frame.top() + offsetY_ - size_);
}

void CWndShadow::Update()
{
    const QSize size = parent_->frameGeometry().size();
    auto* window = static_cast<ShadowWindow*>(window_.get());
    window->image = MakeShadow(size.width(), size.height(), {}, size_, sharpness_, darkness_, offsetX_,
                               offsetY_, colour_);
    window->resize(window->image.size());
    MoveToParent();
    window->update();
    lastSize_ = size;
    updatePending_ = false;
}

bool CWndShadow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != parent_)
        return false;
    switch (event->type()) {
    case QEvent::Move:
        if (status_ & kVisible)
            MoveToParent();
        break;
    case QEvent::Resize:
        if (parent_->isMinimized() || parent_->isMaximized()) {
            window_->hide();
        } else if (status_ & kEnabled) {
            const QSize now = parent_->frameGeometry().size();
            if (now.width() > lastSize_.width() || now.height() > lastSize_.height())
                updatePending_ = true; // recomputed on the next paint
            Show();
        }
        break;
    case QEvent::Paint:
        if (updatePending_ && (status_ & kVisible))
            Update();
        break;
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::WindowStateChange:
        Show();
        break;
    default:
        break;
    }
    return false;
}

QImage CWndShadow::MakeShadow(int w, int h, const std::vector<Span>& rows, int size, int sharpness,
                              int darkness, int offsetX, int offsetY, const QColor& colour)
{
    const int S = size;
    const int P = sharpness;
    const int W2 = w + 2 * S;
    const int H2 = h + 2 * S;
    QImage image(std::max(W2, 1), std::max(H2, 1), QImage::Format_ARGB32_Premultiplied);
    image.fill(0);
    if (W2 <= 0 || H2 <= 0 || w <= 0 || h <= 0)
        return image;

    // step 1: the parent's rows, and the working rows shifted by S with S empty rows
    // above and below
    std::vector<Span> parent(h);
    for (int y = 0; y < h; ++y) {
        parent[y] = rows.empty() ? Span{0, w} : rows[y];
        if (parent[y].start >= parent[y].end)
            parent[y] = Span{w, 0};
    }
    std::vector<Span> work(H2, Span{W2, 0});
    for (int y = 0; y < h; ++y) {
        if (y + S < 0 || y + S >= H2)
            continue;
        work[y + S] =
            parent[y].start < parent[y].end ? Span{parent[y].start + S, parent[y].end + S} : Span{w, 0};
    }
    auto at = [&](const std::vector<Span>& list, int y) { return y >= 0 && y < H2 ? list[y] : Span{W2, 0}; };

    // step 2: erosion
    for (int round = 0; round < P - S; ++round) {
        std::vector<Span> next(H2);
        for (int y = 0; y < H2; ++y) {
            const Span a = at(work, y - 1), b = work[y], c = at(work, y + 1);
            next[y] = Span{std::max({a.start, b.start, c.start}) + 1, std::min({a.end, b.end, c.end}) - 1};
        }
        work.swap(next);
    }

    // step 3: the kernel
    const int R = std::max(P, S);
    const int r0 = std::max(S - P, 0);
    const int K = 2 * R + 1;
    std::vector<uint32_t> kernel(size_t(K) * size_t(K));
    for (int j = 0; j < K; ++j) {
        for (int i = 0; i < K; ++i) {
            const double d = std::sqrt(double((i - R) * (i - R) + (j - R) * (j - R)));
            int alpha;
            if (d < r0)
                alpha = darkness;
            else if (d > R)
                alpha = 0;
            else
                alpha = int(darkness * (1.0 - (d - r0) / (P + 1)));
            alpha = std::clamp(alpha, 0, 255);
            kernel[size_t(j) * K + i] = Premultiplied(colour, alpha);
        }
    }
    auto pixel = [&](int x, int y) -> uint32_t& { return reinterpret_cast<uint32_t*>(image.scanLine(y))[x]; };
    auto stamp = [&](int cx, int cy) {
        for (int j = 0; j < K; ++j) {
            const int y = cy - R + j;
            if (y < 0 || y >= H2)
                continue;
            for (int i = 0; i < K; ++i) {
                const int x = cx - R + i;
                if (x < 0 || x >= W2)
                    continue;
                uint32_t& target = pixel(x, y);
                target = std::max(target, kernel[size_t(j) * K + i]);
            }
        }
    };

    // step 4: dilation of the edges
    for (int y = R; y < H2 - R; ++y) {
        const Span span = work[y];
        if (span.start >= span.end)
            continue;
        const Span above = at(work, y - 1), below = at(work, y + 1);
        const int leftEnd = std::min(span.end, std::max(above.start, below.start) + 1);
        for (int x = span.start; x < leftEnd; ++x)
            stamp(x, y);
        const int rightStart = std::max(std::max(span.start, leftEnd), std::min(above.end, below.end) - 1);
        for (int x = rightStart; x < span.end; ++x)
            stamp(x, y);
    }

    // step 5: body, then the hole under the parent
    const uint32_t full = Premultiplied(colour, darkness);
    const int first = std::max(0, std::min(R, S - offsetY));
    const int last = std::max(H2 - R, std::min(h + S - offsetY, H2));
    for (int y = first; y < std::min(last, H2); ++y) {
        const Span span = work[y];
        for (int x = std::max(span.start, 0); x < std::min(span.end, W2); ++x)
            pixel(x, y) = full;
        const int py = y - S + offsetY;
        if (py >= 0 && py < h && parent[py].start < parent[py].end) {
            const int from = std::max(parent[py].start + S - offsetX, 0);
            const int to = std::min(parent[py].end + S - offsetX, W2);
            for (int x = from; x < to; ++x)
                pixel(x, y) = 0;
        }
    }
    return image;
}
