#pragma once

#include <QLineEdit>

// A frameless single-line field whose text sits in the vertical middle: the text
// area is inset by 6 pixels at the top and 5 at the bottom, the strips painted in
// the window colour.
class CSingleCenter : public QLineEdit
{
public:
    explicit CSingleCenter(QWidget* parent = nullptr);
};
