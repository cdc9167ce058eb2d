#include "ui/QtMessageBoxHandler.h"

#include "platform/MessageBox.h"
#include "platform/MessageWindow.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

int QtMessageBoxHandler::Show(MessageWindow* owner, const QString& text, const QString& caption,
                              unsigned style)
{
    QWidget* parent = dynamic_cast<QWidget*>(owner);
    if (parent == nullptr)
        parent = QApplication::activeWindow();
    if (parent != nullptr)
        parent = parent->window();

    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    switch (style & MB_TYPEMASK) {
    case MB_OKCANCEL:
        buttons = QMessageBox::Ok | QMessageBox::Cancel;
        break;
    case MB_YESNOCANCEL:
        buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        break;
    case MB_YESNO:
        buttons = QMessageBox::Yes | QMessageBox::No;
        break;
    default:
        break;
    }
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (style & 0xF0) {
    case MB_ICONERROR:
        icon = QMessageBox::Critical;
        break;
    case MB_ICONQUESTION:
        icon = QMessageBox::Question;
        break;
    case MB_ICONWARNING:
        icon = QMessageBox::Warning;
        break;
    case MB_ICONINFORMATION:
        icon = QMessageBox::Information;
        break;
    default:
        break;
    }
    QMessageBox box(icon, caption, text, buttons, parent);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return IDYES;
    case QMessageBox::No:
        return IDNO;
    case QMessageBox::Cancel:
        return IDCANCEL;
    case QMessageBox::Ok:
        return IDOK;
    default: // closed with the window's close button
        return (style & MB_TYPEMASK) == MB_OK ? IDOK : ((style & MB_TYPEMASK) == MB_YESNO ? IDNO : IDCANCEL);
    }
}
