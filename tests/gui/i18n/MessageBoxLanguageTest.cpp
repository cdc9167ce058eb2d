// The program's message boxes and waiting dialogs in the program's language: the
// texts and the buttons of the boxes (确定/取消/是/否 in Chinese, OK/Cancel/Yes/No in
// English), the pre-flight dialog's button, the waiting dialog's text inside its window.

#include "app/UiText.h"
#include "control/GatewayDetailController.h"
#include "gui/common/GuiTestApp.h"
#include "gui/i18n/TextFitRecorder.h"
#include "platform/MessageBox.h"
#include "platform/TipsDialog.h"
#include "platform/UiLanguage.h"
#include "support/PumpUntil.h"
#include "ui/CDlgTips.h"
#include "ui/PreflightDialog.h"
#include "ui/QtMessageBoxHandler.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <map>

namespace {

struct Shown
{
    QString text;
    QString caption;
    std::map<QMessageBox::StandardButton, QString> buttons;
    int answer = 0;
};

QMessageBox* OpenBox()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box != nullptr && box->isVisible())
            return box;
    }
    return nullptr;
}

// Shows one box through the program's handler, reads it while it is open and
// answers it with `click`.
// The text of the pre-flight dialog's one button and its title.
QStringList PreflightNames()
{
    PreflightDialog dialog(nullptr, {});
    QDialogButtonBox* buttons = dialog.findChild<QDialogButtonBox*>();
    if (buttons == nullptr || buttons->buttons().size() != 1)
        return {};
    return {buttons->buttons()[0]->text(), dialog.windowTitle()};
}

Shown ShowBox(const QString& text, unsigned style, QMessageBox::StandardButton click)
{
    Shown shown;
    bool read = false;
    auto readAndClick = [&] {
        QMessageBox* box = OpenBox();
        if (box == nullptr || read)
            return false;
        read = true;
        shown.text = box->text();
        shown.caption = box->windowTitle();
        for (QAbstractButton* button : box->buttons())
            shown.buttons[box->standardButton(button)] = button->text();
        box->button(click)->click();
        return true;
    };
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, readAndClick);
    poll.start(10);
    QtMessageBoxHandler handler;
    shown.answer = handler.Show(nullptr, text, QString::fromUtf8(platform::kDefaultMessageBoxCaption), style);
    // An OK box does not wait: it is read once it shows.
    EXPECT_TRUE(PumpUntil([&] { return read; }, 5000));
    EXPECT_TRUE(PumpUntil([&] { return OpenBox() == nullptr; }, 5000));
    return shown;
}

TEST(MessageBoxLanguageTest, BoxesAndWaitingDialogsSpeakTheProgramsLanguageButtonsIncluded)
{
    GuiTestApp::Ensure();
    using B = QMessageBox;
    const QString question =
        QString::fromUtf8("GW-A001") + QString::fromUtf8(GatewayDetailController::kTextCloseOtherChannel);

    // Chinese: Chinese buttons.
    Shown ok = ShowBox(QString::fromUtf8(GatewayDetailController::kTextOffline), platform::kMbOk, B::Ok);
    EXPECT_EQ(ok.text, QString::fromUtf8("设备不在线"));
    EXPECT_EQ(ok.caption, QStringLiteral("Lumetra"));
    EXPECT_EQ(ok.buttons, (std::map<B::StandardButton, QString>{{B::Ok, QString::fromUtf8("确定")}}));
    Shown yesNo = ShowBox(question, platform::kMbYesNo | platform::kMbIconQuestion, B::No);
    EXPECT_EQ(yesNo.text, question);
    EXPECT_EQ(yesNo.buttons, (std::map<B::StandardButton, QString>{{B::Yes, QString::fromUtf8("是")},
                                                                   {B::No, QString::fromUtf8("否")}}));
    EXPECT_EQ(yesNo.answer, platform::kIdNo);
    Shown all = ShowBox(question, platform::kMbYesNoCancel, B::Cancel);
    EXPECT_EQ(all.buttons, (std::map<B::StandardButton, QString>{{B::Yes, QString::fromUtf8("是")},
                                                                 {B::No, QString::fromUtf8("否")},
                                                                 {B::Cancel, QString::fromUtf8("取消")}}));
    EXPECT_EQ(all.answer, platform::kIdCancel);
    Shown okCancel = ShowBox(question, platform::kMbOkCancel, B::Ok);
    EXPECT_EQ(okCancel.buttons,
              (std::map<B::StandardButton, QString>{{B::Ok, QString::fromUtf8("确定")},
                                                    {B::Cancel, QString::fromUtf8("取消")}}));
    EXPECT_EQ(okCancel.answer, platform::kIdOk);

    EXPECT_EQ(PreflightNames(), QStringList({QString::fromUtf8("关闭"), QString::fromUtf8("连接诊断")}));

    // English: the same boxes with English texts and buttons.
    ASSERT_TRUE(platform::UiLanguage::Install(platform::UiLanguage::Language::English,
                                              QStringLiteral(LUMETRA_BIN_DIR)));
    ok = ShowBox(QString::fromUtf8(GatewayDetailController::kTextOffline), platform::kMbOk, B::Ok);
    EXPECT_EQ(ok.text, QStringLiteral("The device is offline"));
    EXPECT_EQ(ok.caption, QStringLiteral("Lumetra"));
    EXPECT_EQ(ok.buttons, (std::map<B::StandardButton, QString>{{B::Ok, QStringLiteral("OK")}}));
    all = ShowBox(question, platform::kMbYesNoCancel, B::Yes);
    EXPECT_EQ(all.text, QStringLiteral("GW-A001: a channel is open. Close it?"));
    EXPECT_EQ(all.buttons, (std::map<B::StandardButton, QString>{{B::Yes, QStringLiteral("Yes")},
                                                                 {B::No, QStringLiteral("No")},
                                                                 {B::Cancel, QStringLiteral("Cancel")}}));
    EXPECT_EQ(all.answer, platform::kIdYes);
    okCancel = ShowBox(question, platform::kMbOkCancel, B::Cancel);
    EXPECT_EQ(okCancel.buttons, (std::map<B::StandardButton, QString>{
                                    {B::Ok, QStringLiteral("OK")}, {B::Cancel, QStringLiteral("Cancel")}}));
    EXPECT_EQ(okCancel.answer, platform::kIdCancel);

    EXPECT_EQ(PreflightNames(), QStringList({QStringLiteral("Close"), QStringLiteral("Connection check")}));

    // The waiting dialogs' texts, in English, inside the dialog's window.
    TextFitRecorder fits;
    for (const char* text :
         {GatewayDetailController::kTextChannelStarting, GatewayDetailController::kTextChannelInUse,
          GatewayDetailController::kTextChannelOtherBusiCode, platform::TipsDialog::kTimeoutText}) {
        platform::TipsDialog tips(false, false, nullptr);
        tips.SetText(QString::fromUtf8(text), nullptr, 0);
        CDlgTips window(tips, nullptr);
        window.grab();
    }
    EXPECT_TRUE(fits.Warnings().isEmpty()) << fits.Warnings().join('\n').toStdString();
}

} // namespace
