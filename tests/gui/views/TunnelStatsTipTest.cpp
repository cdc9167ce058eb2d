// The live figures of a tunnel in the window: resting the mouse on the device table's
// row of an open serial tunnel shows the bytes a Modbus RTU master moved through it
// and the round trip, refreshed while the tooltip stays up; a row without an open
// tunnel shows none, and closing the tunnel takes the tooltip away.

#include "gui/views/ViewsFixture.h"

#include "cloud/CNodeDevice.h"
#include "support/PumpUntil.h"
#include "ui/CFVTableDevice.h"
#include "ui/pngbutton/CTabButton.h"

#include <QApplication>
#include <QHelpEvent>
#include <QToolTip>

#include <gtest/gtest.h>

namespace {

class TunnelStatsTipTest : public ViewsFixture
{
protected:
    static void SetUpTestSuite() { StartSuite(false); }

    // The mouse rests on row `row` (0 to 6) of the table, in its address column.
    static void RestOnRow(CFVTableDevice* table, int row)
    {
        const QPoint pos(CFVTableDevice::ColumnEdges(table->width())[4] + 10,
                         (row + 1) * CFVTableDevice::kRowHeight + CFVTableDevice::kRowHeight / 2);
        QHelpEvent event(QEvent::ToolTip, pos, table->mapToGlobal(pos));
        QApplication::sendEvent(table, &event);
    }
};

TEST_F(TunnelStatsTipTest, AnOpenSerialRowShowsItsBytesAndRoundTripWhileTheMouseRestsOnIt)
{
    ASSERT_NO_FATAL_FAILURE(StartAndLogIn());
    Select(Gateway(0));
    CFVTableDevice* table = dlg_->TableView();
    ASSERT_NE(table, nullptr);
    ASSERT_EQ((*table->Devices())[1]->deviceName, QStringLiteral("温控仪表"));

    // Closed: nothing to show.
    RestOnRow(table, 1);
    EXPECT_FALSE(QToolTip::isVisible());

    table->RowButton(1)->click();
    ASSERT_TRUE(PumpUntil([&] { return boxes_.Count() >= 1; }, 30000))
        << shared_->farside.Output().toStdString();
    ASSERT_TRUE(table->RowButton(1)->IsOn());
    const QString port = QString::fromStdString(vcom_.LinkPath(2));
    // One read of 4 registers: 8 bytes to the device, 13 back.
    ASSERT_EQ(ReadRtuRegisters(port, 4).size(), 4u) << shared_->farside.Output().toStdString();

    RestOnRow(table, 1);
    ASSERT_TRUE(PumpUntil([] { return QToolTip::isVisible(); }, 5000));
    EXPECT_TRUE(QToolTip::text().startsWith(QStringLiteral("发送 8 字节，接收 13 字节，速率 ")))
        << QToolTip::text().toStdString();
    EXPECT_TRUE(QToolTip::text().contains(QStringLiteral("重连 0 次\n往返时间 中位 ")))
        << QToolTip::text().toStdString();
    EXPECT_TRUE(QToolTip::text().contains(QStringLiteral("（最近 1 次），建议超时 100 ms")))
        << QToolTip::text().toStdString();

    // A second read shows up while the tooltip stays.
    ASSERT_EQ(ReadRtuRegisters(port, 4).size(), 4u);
    EXPECT_TRUE(PumpUntil(
        [] { return QToolTip::text().startsWith(QStringLiteral("发送 16 字节，接收 26 字节，")); }, 5000))
        << QToolTip::text().toStdString();

    // The row of a device without a tunnel shows none.
    RestOnRow(table, 3);
    EXPECT_TRUE(PumpUntil([] { return !QToolTip::isVisible(); }, 5000));

    // Back on the open row, then closed: the tooltip goes at its next refresh.
    RestOnRow(table, 1);
    ASSERT_TRUE(PumpUntil([] { return QToolTip::isVisible(); }, 5000));
    table->RowButton(1)->click();
    ASSERT_TRUE(PumpUntil([&] { return boxes_.Count() >= 2; }, 15000));
    EXPECT_TRUE(PumpUntil([] { return !QToolTip::isVisible(); }, 5000));
}

} // namespace
