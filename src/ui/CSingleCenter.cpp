#include "ui/CSingleCenter.h"

#include <QPalette>

CSingleCenter::CSingleCenter(QWidget* parent) : QLineEdit(parent)
{
    setFrame(false);
    setTextMargins(0, 6, 0, 5);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Base, Qt::white);
    colours.setColor(QPalette::Window, Qt::white);
    setPalette(colours);
}
