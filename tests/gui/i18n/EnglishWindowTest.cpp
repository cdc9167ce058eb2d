// The window in English (LUMETRA_LANG=en's translation installed): the login view,
// the home view, the tree's search form and a gateway's detail view with its devices
// draw every text inside the rectangle it was given, and the images with words on
// them are the English ones.

#include "app/UiText.h"
#include "gui/i18n/TextFitRecorder.h"
#include "gui/views/ViewsFixture.h"
#include "platform/UiLanguage.h"
#include "ui/CFVGatewayDetail.h"
#include "ui/CFVLogin.h"
#include "ui/CFVTableDevice.h"
#include "ui/CMemDCPNG.h"
#include "ui/pngbutton/CGdiPlusBitmapResource.h"
#include "ui/pngbutton/CTabButton.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>

#include <gtest/gtest.h>

namespace {

// Draws one text through the views' drawing helper into a rectangle too small for it.
class TooLong : public QWidget
{
protected:
    void paintEvent(QPaintEvent*) override
    {
        CMemDCPNG dc(this);
        dc.Text(QRectF(0, 0, 40, 20), QStringLiteral("much too long for forty pixels"), CMemDCPNG::YaHei(12));
    }
};

// Every label and check box below `root` that shows a text: the text must fit the
// widget (a label's contents, a check box with its indicator).
QStringList WidgetsTooNarrow(QWidget& root)
{
    QStringList narrow;
    for (QLabel* label : root.findChildren<QLabel*>()) {
        if (!label->text().isEmpty() &&
            label->fontMetrics().horizontalAdvance(label->text()) > label->contentsRect().width())
            narrow << label->text();
    }
    for (QCheckBox* box : root.findChildren<QCheckBox*>()) {
        if (box->sizeHint().width() > box->width())
            narrow << box->text();
    }
    return narrow;
}

class EnglishWindowTest : public ViewsFixture
{
protected:
    static void SetUpTestSuite() { StartSuite(false); }
};

TEST_F(EnglishWindowTest, LoginHomeSearchAndDetailViewsDrawEveryTextInsideItsPlace)
{
    TextFitRecorder fits;
    // The check sees a text that does not fit.
    TooLong probe;
    probe.resize(40, 20);
    probe.grab();
    ASSERT_EQ(fits.Warnings().size(), 1) << fits.Warnings().join('\n').toStdString();
    fits.Clear();

    ASSERT_TRUE(platform::UiLanguage::Install(platform::UiLanguage::Language::English,
                                              QStringLiteral(LUMETRA_BIN_DIR)));
    ASSERT_EQ(UiText::tr("设备列表"), QStringLiteral("Devices"));
    ASSERT_NO_FATAL_FAILURE(StartAndLogIn());

    // The login view (hidden after the login, drawn at its size), then the home view.
    CFVLogin* login = dlg_->LoginView();
    ASSERT_NE(login, nullptr);
    login->grab();
    EXPECT_EQ(login->RememberBox()->text(), QStringLiteral("Remember password"));
    EXPECT_EQ(WidgetsTooNarrow(*login), QStringList());
    dlg_->grab();

    // The tree's search form: its labels and tabs.
    tree_->Tab(CFVLeftTree::IDC_TAB_SEARCH)->click();
    QApplication::processEvents();
    dlg_->grab();
    EXPECT_EQ(WidgetsTooNarrow(*dlg_), QStringList());

    // A gateway with its devices: the detail view and the device table.
    tree_->Tab(CFVLeftTree::IDC_TAB_ALL)->click();
    Select(Gateway(0));
    CFVGatewayDetail* detail = dlg_->DetailView();
    ASSERT_NE(detail, nullptr);
    ASSERT_TRUE(detail->isVisible());
    ASSERT_NE(dlg_->TableView(), nullptr);
    ASSERT_NE(dlg_->TableView()->Devices(), nullptr);
    EXPECT_EQ(dlg_->TableView()->Devices()->size(), 5u);
    dlg_->grab();
    EXPECT_EQ(WidgetsTooNarrow(*dlg_), QStringList());

    EXPECT_TRUE(fits.Warnings().isEmpty()) << fits.Warnings().join('\n').toStdString();

    // The images with words are the English variants, of the same sizes.
    for (int id : {134, 135, 158, 159, 160, 161, 162, 163, 164, 176, 177}) {
        const QImage english = CGdiPlusBitmapResource::Get(id);
        const QImage chinese(QStringLiteral(":/png/%1.png").arg(id));
        EXPECT_EQ(english,
                  QImage(QStringLiteral(":/png/en/%1.png").arg(id)).convertToFormat(QImage::Format_ARGB32))
            << id;
        EXPECT_EQ(english.size(), chinese.size()) << id;
        EXPECT_NE(english, chinese.convertToFormat(QImage::Format_ARGB32)) << id;
    }
}

} // namespace
