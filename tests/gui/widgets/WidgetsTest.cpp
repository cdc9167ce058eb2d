// The controls: image buttons and their renderings, the tab button's states, the
// shadow image, the waiting dialog on the screen and the Qt message box.

#include "gui/common/GuiTestApp.h"
#include "platform/MessageBox.h"
#include "platform/MessageWindow.h"
#include "platform/TipsDialog.h"
#include "platform/WindowMessages.h"
#include "support/MessageBoxRecorder.h"
#include "support/PumpUntil.h"
#include "support/RecordingWindow.h"
#include "ui/CDLEdit.h"
#include "ui/CDlgTips.h"
#include "ui/QtMessageBoxHandler.h"
#include "ui/TipsDialogPresenter.h"
#include "ui/pngbutton/CGdiPlusBitmapResource.h"
#include "ui/pngbutton/CTabButton.h"
#include "ui/wndshadow/CWndShadow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class WidgetsTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { GuiTestApp::Ensure(); }
};

// The images come by number; the views' screenshots show most of them. Here the
// first and last, the large background and the states shown only on a click.
TEST_F(WidgetsTest, ImagesHaveTheirSizes)
{
    const std::pair<int, QSize> expected[] = {{128, {16, 16}}, {129, {1902, 1312}}, {131, {23, 23}},
                                              {152, {66, 25}}, {159, {90, 32}},     {177, {130, 29}}};
    for (const auto& [id, size] : expected)
        EXPECT_EQ(CGdiPlusBitmapResource::Get(id).size(), size) << "image " << id;
    EXPECT_TRUE(CGdiPlusBitmapResource::Get(144).isNull());
}

TEST_F(WidgetsTest, ButtonRenderingsBrightenGreyAndShift)
{
    QImage pixel(1, 1, QImage::Format_ARGB32);
    pixel.setPixel(0, 0, qRgba(100, 200, 250, 128));
    const QRgb bright = CGdipButton::Brighten(pixel).pixel(0, 0);
    EXPECT_EQ(qRed(bright), 118); // 100 x 1.05 + 12.75
    EXPECT_EQ(qGreen(bright), 223);
    EXPECT_EQ(qBlue(bright), 255); // clamped
    EXPECT_EQ(qAlpha(bright), 128);
    const QRgb grey = CGdipButton::Grey(pixel).pixel(0, 0);
    EXPECT_EQ(qRed(grey), 176); // 30 + 118 + 27.5, rounded
    EXPECT_EQ(qBlue(grey), 176);
    EXPECT_EQ(qAlpha(grey), 128);

    CGdipButton button(nullptr, 1004);
    EXPECT_FALSE(button.LoadStdImage(144)); // no such image: no picture, still a button
    ASSERT_TRUE(button.LoadStdImage(134));
    button.resize(220, 30);
    button.grab(); // first paint builds the renderings
    const QImage std = button.Rendering(CGdipButton::Look::Std);
    const QImage pressed = button.Rendering(CGdipButton::Look::StdPressed);
    ASSERT_EQ(pressed.size(), std.size());
    EXPECT_EQ(pressed.pixel(11, 16), std.pixel(10, 15));
    EXPECT_EQ(qAlpha(pressed.pixel(0, 5)), 0);
}

TEST_F(WidgetsTest, TabButtonTurnsOnWhenDrawnPressedAndOffWhenTold)
{
    CTabButton tab(nullptr, 1013);
    ASSERT_TRUE(tab.LoadStdImage(158));
    ASSERT_TRUE(tab.LoadAltImage(159));
    tab.resize(90, 32);
    const QImage off = tab.grab().toImage();
    EXPECT_FALSE(tab.IsOn());

    tab.setDown(true);
    tab.grab();
    tab.setDown(false);
    EXPECT_TRUE(tab.IsOn());
    const QImage on = tab.grab().toImage();
    EXPECT_NE(on, off);

    tab.SetOff(); // the owner's reset in the same message
    EXPECT_EQ(tab.grab().toImage(), off);
}

TEST_F(WidgetsTest, PromptEditShowsItsPromptOnlyWhileEmpty)
{
    CDLEdit edit;
    EXPECT_EQ(edit.PromptText(), QStringLiteral("请输入文本"));
    edit.SetPromptText(QStringLiteral(" "));
    EXPECT_TRUE(edit.IsPromptShown());
    EXPECT_TRUE(edit.text().isEmpty());
    edit.setText(QStringLiteral("LG01"));
    EXPECT_FALSE(edit.IsPromptShown());
    EXPECT_EQ(edit.FrameColour(), CDLEdit::kBorder);
}

TEST_F(WidgetsTest, ShadowHasAHoleUnderTheWindowAndFadesOutwards)
{
    const int w = 100, h = 60, size = 12, sharpness = 20, darkness = 146;
    const QImage shadow = CWndShadow::MakeShadow(w, h, {}, size, sharpness, darkness, 0, 0, Qt::black);
    ASSERT_EQ(shadow.size(), QSize(w + 2 * size, h + 2 * size));
    auto alpha = [&](int x, int y) { return qAlpha(shadow.pixel(x, y)); };
    for (int y = size; y < size + h; y += 7)
        for (int x = size; x < size + w; x += 9)
            ASSERT_EQ(alpha(x, y), 0) << x << "," << y;
    // Along the middle row, left of the window: darker towards the window, never
    // darker than the darkness, nearly clear at the outer edge (146 x (1 - 20 / 21)).
    const int mid = size + h / 2;
    EXPECT_EQ(alpha(0, mid), 6);
    EXPECT_GT(alpha(size - 1, mid), alpha(size / 2, mid));
    EXPECT_LE(alpha(size - 1, mid), darkness);
    EXPECT_GT(alpha(size - 1, mid), 0);
    // Symmetric without an offset.
    EXPECT_EQ(alpha(size - 3, mid), alpha(size + w + 2, mid));
    // Premultiplied black: colour channels stay 0.
    EXPECT_EQ(qRed(shadow.pixel(size - 1, mid)), 0);

    CWndShadow wnd;
    EXPECT_FALSE(wnd.SetSize(21));
    EXPECT_FALSE(wnd.SetSharpness(-1));
    EXPECT_FALSE(wnd.SetDarkness(256));
    EXPECT_FALSE(wnd.SetPosition(0, 21));
    EXPECT_TRUE(wnd.SetSize(-20));
}

TEST_F(WidgetsTest, TipsDialogIsShownUntilItsOwnerClosesIt)
{
    TipsDialogPresenter presenter;
    platform::TipsDialog::Presenter* previous = platform::TipsDialog::SetPresenter(&presenter);
    MessageBoxRecorder boxes;
    RecordingWindow notify;

    platform::TipsDialog tips(false, true, nullptr);
    tips.SetText(QStringLiteral("通道启动中，请稍等"), &notify, 0);
    bool sawDialog = false;
    QTimer::singleShot(0, [&] {
        CDlgTips* shown = presenter.Shown(tips);
        sawDialog = shown != nullptr && shown->isVisible() &&
                    shown->windowTitle() == QStringLiteral("Lumetra") &&
                    !(shown->windowFlags() & Qt::WindowCloseButtonHint);
        if (shown != nullptr)
            shown->close(); // not closable: ignored
        QTimer::singleShot(0, [&] { tips.Close(); });
    });
    tips.DoModal();
    EXPECT_TRUE(sawDialog);
    EXPECT_EQ(presenter.Shown(tips), nullptr);
    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_EQ(notify.Of(WM_REQUEST_TIMEOUT).size(), 0u);

    // A timed dialog left alone reports the time-out.
    platform::TipsDialog timed(false, true, nullptr);
    timed.SetText(QStringLiteral("通道启动中，请稍等"), &notify, 0);
    timed.SetTimeout(50);
    timed.DoModal();
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, QStringLiteral("请求超时"));
    EXPECT_EQ(notify.Of(WM_REQUEST_TIMEOUT).size(), 1u);
    platform::TipsDialog::SetPresenter(previous);
}

TEST_F(WidgetsTest, QtMessageBoxAnswersWithTheButtonPressed)
{
    QtMessageBoxHandler handler;
    platform::MessageBoxHandler* previous = platform::SetMessageBoxHandler(&handler);
    QString seenText, seenTitle;
    auto pressWhenShown = [&](QMessageBox::StandardButton which) {
        QTimer::singleShot(0, [&, which] {
            PumpUntil([] { return QApplication::activeModalWidget() != nullptr; }, 5000);
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr)
                return;
            seenText = box->text();
            seenTitle = box->windowTitle();
            box->button(which)->click();
        });
    };
    pressWhenShown(QMessageBox::No);
    EXPECT_EQ(platform::ShowMessageBox(nullptr, QStringLiteral("是否退出Lumetra"), QStringLiteral("Lumetra"),
                                       platform::kMbYesNo),
              platform::kIdNo);
    EXPECT_EQ(seenText, QStringLiteral("是否退出Lumetra"));
    EXPECT_EQ(seenTitle, QStringLiteral("Lumetra"));
    pressWhenShown(QMessageBox::Yes);
    EXPECT_EQ(platform::ShowMessageBox(nullptr, QStringLiteral("q"), QString(), platform::kMbYesNo),
              platform::kIdYes);
    // A box that only informs answers at once and stays on screen until closed.
    EXPECT_EQ(platform::AfxMessageBox(QStringLiteral("ok")), platform::kIdOk);
    QMessageBox* shown = nullptr;
    PumpUntil(
        [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(w);
                if (box != nullptr && box->isVisible() && box->text() == QStringLiteral("ok"))
                    shown = box;
            }
            return shown != nullptr;
        },
        5000);
    ASSERT_NE(shown, nullptr);
    QPointer<QMessageBox> watch(shown);
    shown->button(QMessageBox::Ok)->click();
    // The test runs outside the application's event loop: deferred deletes are sent by hand.
    EXPECT_TRUE(PumpUntil(
        [&] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return watch.isNull();
        },
        5000))
        << "a closed box is freed";
    platform::SetMessageBoxHandler(previous);
}

} // namespace
