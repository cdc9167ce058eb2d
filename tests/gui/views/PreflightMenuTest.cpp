// The window's "连接诊断": a right click on the title band opens the band's menu; its
// item runs the pre-flight check against the real far side and broker while the
// window keeps running, and shows the same report as lumetra-cli doctor.

#include "gui/views/ViewsFixture.h"

#include "support/PumpUntil.h"
#include "ui/PreflightDialog.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>

#include <gtest/gtest.h>

namespace {

class PreflightMenuTest : public ViewsFixture
{
protected:
    static void SetUpTestSuite() { StartSuite(false); }
};

TEST_F(PreflightMenuTest, BandMenuItemShowsTheReportOfTheRunningInstallation)
{
    ASSERT_NO_FATAL_FAILURE(StartAndLogIn());

    // Below the band the window has no menu; on the band it has.
    QContextMenuEvent below(QContextMenuEvent::Mouse, QPoint(300, Clumetra_uniDlg::kBandHeight + 20),
                            dlg_->mapToGlobal(QPoint(300, Clumetra_uniDlg::kBandHeight + 20)));
    QApplication::sendEvent(dlg_.get(), &below);
    EXPECT_TRUE(dlg_->findChild<QMenu*>(QStringLiteral("bandMenu")) == nullptr ||
                !dlg_->findChild<QMenu*>(QStringLiteral("bandMenu"))->isVisible());
    QContextMenuEvent onBand(QContextMenuEvent::Mouse, QPoint(300, 40), dlg_->mapToGlobal(QPoint(300, 40)));
    QApplication::sendEvent(dlg_.get(), &onBand);
    QMenu* menu = dlg_->findChild<QMenu*>(QStringLiteral("bandMenu"));
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(PumpUntil([&] { return menu->isVisible(); }, 5000));
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions()[0]->text(), QStringLiteral("连接诊断"));
    menu->hide();

    const int published = PublishedByPc();
    dlg_->DiagnosisAction()->trigger();
    auto* dialog = dlg_->findChild<PreflightDialog*>(QStringLiteral("PreflightDialog"));
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("连接诊断"));
    const QString report = dialog->Report();
    for (const char* passed : {"ok   web service", "ok   sign-in", "ok   broker", "ok   port-transfer server",
                               "ok   relay server", "ok   virtual COM folder", "ok   lumetra-vcom"})
        EXPECT_TRUE(report.contains(QString::fromUtf8(passed))) << report.toStdString();
    for (const char* port : {"local port 102", "local port 502", "local port 5562", "local port 9600"})
        EXPECT_TRUE(report.contains(QString::fromUtf8(port))) << report.toStdString();
    // The check's message went out on a connection of its own: the window's client
    // published nothing, and it still gets the broker's messages.
    EXPECT_TRUE(NothingPublishedSince(published));
    EXPECT_TRUE(dlg_->IsLoggedIn());
    dialog->close();
}

} // namespace
