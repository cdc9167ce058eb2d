#pragma once

#include <QColor>
#include <QFont>
#include <QWidget>

// A text link: drawn in the link colour, red while the mouse is over it (underlined),
// purple once visited; a click opens its address with OpenLink.
class CHyperLink : public QWidget
{
public:
    explicit CHyperLink(const QString& text, QWidget* parent = nullptr);

    void SetUrl(const QString& url) { url_ = url; }
    const QString& Url() const { return url_; }
    void SetText(const QString& text);
    const QString& Text() const { return text_; }
    // Builds the normal and the underlined font from the current font with this
    // pixel height and weight (100 to 900), and fits the control to its text.
    void SetFont(int height, int weight);
    // 1: always underlined; anything else: underlined while hovered.
    void SetUnderline(int mode);

    bool IsVisited() const { return visited_; }
    bool IsHovering() const { return hovering_; }
    QColor CurrentColour() const;

    // Opens `address` with the desktop's handler for it, falling back to running
    // "xdg-open <address>". Failures stay silent. False when neither could start.
    static bool OpenLink(const QString& address);

    static const QColor kLinkColour;    // RGB 0, 0, 0
    static const QColor kVisitedColour; // RGB 85, 26, 139
    static const QColor kHoverColour;   // RGB 255, 0, 0

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void FitToText();

    QString text_;
    QString url_;
    QFont normalFont_;
    QFont underlineFont_;
    bool visited_ = false;
    bool hovering_ = false;
    int underline_ = -1;
    bool fitToText_ = true;
};
