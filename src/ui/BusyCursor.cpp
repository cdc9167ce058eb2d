#include "ui/BusyCursor.h"

#include <QCursor>
#include <QGuiApplication>

void BusyCursor::Begin()
{
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

void BusyCursor::End()
{
    QGuiApplication::restoreOverrideCursor();
}
