#include "ui/QtMessageBoxHandler.h"

#include "app/UiText.h"
#include "platform/MessageBox.h"
#include "platform/MessageWindow.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

#include <utility>

namespace {

// The buttons in the program's language (Qt's own texts would be English whatever
// the language).
void NameButtons(QMessageBox& box)
{
    const std::pair<QMessageBox::StandardButton, const char*> names[] = {
        {QMessageBox::Ok, QT_TRANSLATE_NOOP("UiText", "确定")},
        {QMessageBox::Cancel, QT_TRANSLATE_NOOP("UiText", "取消")},
        {QMessageBox::Yes, QT_TRANSLATE_NOOP("UiText", "是")},
        {QMessageBox::No, QT_TRANSLATE_NOOP("UiText", "否")}};
    for (const auto& [which, name] : names) {
        if (QAbstractButton* button = box.button(which))
            button->setText(UiText::tr(name));
    }
}

} // namespace

int QtMessageBoxHandler::Show(platform::MessageWindow* owner, const QString& sourceText,
                              const QString& sourceCaption, unsigned style)
{
    const QString text = UiText::Translate(sourceText);
    const QString caption = UiText::Translate(sourceCaption);
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
    if ((style & platform::kMbTypeMask) == platform::kMbOk) {
        // A box that only informs has one answer: it is shown without waiting for the
        // user, so that nothing behind it (the flow that reported, an inbound message,
        // a serial reader) stands still while the box is open.
        auto* box = new QMessageBox(icon, caption, text, buttons, parent);
        NameButtons(*box);
        box->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(box, &QDialog::finished, box, &QObject::deleteLater);
        box->setWindowModality(parent != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
        box->show();
        return platform::kIdOk;
    }
    QMessageBox box(icon, caption, text, buttons, parent);
    NameButtons(box);
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
