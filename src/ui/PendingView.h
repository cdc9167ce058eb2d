#pragma once

#include <QWidget>

// Holds the place of a logged-in view that is not part of the program yet (the
// gateway tree, the home page): a white panel with a grey frame, named after the
// view it stands for, so that the main window's switching already works.
class PendingView : public QWidget
{
public:
    PendingView(const QString& viewName, QWidget* parent);

    const QString& ViewName() const { return viewName_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString viewName_;
};
