#include "ui/QtMessageBoxHandler.h"

#include "platform/MessageBox.h"
#include "platform/MessageWindow.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

int QtMessageBoxHandler::Show(platform::MessageWindow* owner, const QString& text, const QString& caption,
                              unsigned style)
{
    QWidget* parent = dynamic_cast<QWidget*>(owner);
    if (parent == nullptr)
        parent = QApplication::activeWindow();
    if (parent != nullptr)
        parent = parent->window();

    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    switch (style & platform::kMbTypeMask) {
    case platform::kMbOkCancel:
        buttons = QMessageBox::Ok | QMessageBox::Cancel;
        break;
    case platform::kMbYesNoCancel:
        buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        break;
    case platform::kMbYesNo:
        buttons = QMessageBox::Yes | QMessageBox::No;
        break;
    default:
        break;
    }
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (style & 0xF0) {
    case platform::kMbIconError:
        icon = QMessageBox::Critical;
        break;
    case platform::kMbIconQuestion:
        icon = QMessageBox::Question;
        break;
    case platform::kMbIconWarning:
        icon = QMessageBox::Warning;
        break;
    case platform::kMbIconInformation:
        icon = QMessageBox::Information;
        break;
    default:
        break;
    }
    QMessageBox box(icon, caption, text, buttons, parent);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return platform::kIdYes;
    case QMessageBox::No:
        return platform::kIdNo;
    case QMessageBox::Cancel:
        return platform::kIdCancel;
    case QMessageBox::Ok:
        return platform::kIdOk;
    default: // closed with the window's close button
        return (style & platform::kMbTypeMask) == platform::kMbOk
                   ? platform::kIdOk
                   : ((style & platform::kMbTypeMask) == platform::kMbYesNo ? platform::kIdNo
                                                                            : platform::kIdCancel);
    }
}
