#pragma once

#include "app/UiText.h"

#include <QColor>
#include <QLineEdit>

// An edit field with a grey prompt shown while it is empty and unfocused, and a
// painted frame: light grey, blue while focused, a bright blue glow while hovered.
class CDLEdit : public QLineEdit
{
public:
    explicit CDLEdit(QWidget* parent = nullptr);

    // Stores the prompt and shows it while the field is empty and unfocused.
    void SetPromptText(const QString& prompt);
    const QString& PromptText() const { return prompt_; }
    // Whether the prompt is what the field shows now.
    bool IsPromptShown() const { return text().isEmpty() && !hasFocus(); }
    // The frame colour of the present state.
    QColor FrameColour() const;

    static const QColor kBorder;       // RGB 234, 234, 234
    static const QColor kFocusBorder;  // RGB 51, 139, 192
    static const QColor kHoverGlow;    // RGB 96, 200, 253
    static const QColor kPromptColour; // RGB 192, 192, 192

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QString prompt_ = UiText::tr("请输入文本");
    bool hovering_ = false;
};
