#pragma once

#include "ui/pngbutton/CGdipButton.h"

// A two-state image button: off shows the standard image (brighter while hovered),
// on shows the alternate image. Being drawn pressed switches it on, so a click shows
// the on image at once; the owner sets it off again when the action fails.
class CTabButton : public CGdipButton
{
public:
    explicit CTabButton(QWidget* parent = nullptr, int id = 0);

    void SetOn();
    void SetOff();
    bool IsOn() const { return on_; }

protected:
    bool ShowsAlternate() const override { return on_; }
    Look CurrentLook() const override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool on_ = false;
};
