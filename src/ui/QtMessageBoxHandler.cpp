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
    switch (style & kMbTypeMask) {
    case kMbOkCancel:
        buttons = QMessageBox::Ok | QMessageBox::Cancel;
        break;
    case kMbYesNoCancel:
        buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        break;
    case kMbYesNo:
        buttons = QMessageBox::Yes | QMessageBox::No;
        break;
    default:
        break;
    }
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (style & 0xF0) {
    case kMbIconError:
        icon = QMessageBox::Critical;
        break;
    case kMbIconQuestion:
        icon = QMessageBox::Question;
        break;
    case kMbIconWarning:
        icon = QMessageBox::Warning;
        break;
    case kMbIconInformation:
        icon = QMessageBox::Information;
        break;
    default:
        break;
    }
    QMessageBox box(icon, caption, text, buttons, parent);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return kIdYes;
    case QMessageBox::No:
        return kIdNo;
    case QMessageBox::Cancel:
        return kIdCancel;
    case QMessageBox::Ok:
        return kIdOk;
    default: // closed with the window's close button
        return (style & kMbTypeMask) == kMbOk ? kIdOk
                                              : ((style & kMbTypeMask) == kMbYesNo ? kIdNo : kIdCancel);
    }
}
