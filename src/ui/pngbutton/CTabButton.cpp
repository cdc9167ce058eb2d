#include "ui/pngbutton/CTabButton.h"

CTabButton::CTabButton(QWidget* parent, int id) : CGdipButton(parent, id) {}

void CTabButton::SetOn()
{
    if (!on_) {
        on_ = true;
        update();
    }
}

void CTabButton::SetOff()
{
    if (on_) {
        on_ = false;
        update();
    }
}

CGdipButton::Look CTabButton::CurrentLook() const
{
    if (!isEnabled())
        return Look::StdDisabled;
    if (on_ && HasAltImage())
        return isDown() ? Look::AltPressed : Look::Alt;
    return IsHovering() ? Look::StdHover : Look::Std;
}

void CTabButton::paintEvent(QPaintEvent* event)
{
    if (isDown())
        on_ = true;
    CGdipButton::paintEvent(event);
}
