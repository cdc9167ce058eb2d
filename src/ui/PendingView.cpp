#include "ui/PendingView.h"

#include "ui/CMemDCPNG.h"

PendingView::PendingView(const QString& viewName, QWidget* parent) : QWidget(parent), viewName_(viewName)
{
    setObjectName(viewName);
}

void PendingView::paintEvent(QPaintEvent*)
{
    CMemDCPNG dc(this);
    dc.Painter().setPen(QPen(QColor(154, 154, 154), 1.0));
    dc.Painter().setBrush(Qt::NoBrush);
    dc.Painter().drawRect(QRectF(0.5, 0.5, width() - 1, height() - 1));
}
