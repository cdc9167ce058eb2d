// The logged-in views against the real far side and a real broker: the gateway tree
// (state icons, search, root item, home button), a gateway's devices in the table,
// the tunnels opened from the table's row buttons (a local port, a virtual COM port
// made by the real pair tool) and the maintenance channel switch. The far side runs
// the demo inventory plus one serial device whose gateway never answers an open. The
// waiting dialogs are the program's own, watched as a user would: each text is kept
// and a dialog the user may close is closed. The far side runs its OpenVPN server
// where the machine allows it: one case switches the channel on with the real
// OpenVPN client and waits for its link; the others give the window start and stop
// steps for the client that only count their calls.

#include "gui/views/ViewsFixture.h"

#include "app/JsonPtr.h"
#include "cloud/CNodeDevice.h"
#include "cloud/CNodeGateway.h"
#include "gui/common/ScreenshotCheck.h"
#include "mqtt-c/mqtt_commands.h"
#include "mqtt-c/mqtt_envelope.h"
#include "mqtt-c/mqtt_topics.h"
#include "platform/MessageBox.h"
#include "platform/MessageBoxHandler.h"
#include "support/FreePort.h"
#include "support/NamedProcess.h"
#include "support/PumpUntil.h"
#include "ui/CDLEdit.h"
#include "ui/CDlgTips.h"
#include "ui/CFVGatewayDetail.h"
#include "ui/CFVHomeInfo.h"
#include "ui/CFVTableDevice.h"
#include "ui/hyperlink/CHyperLink.h"
#include "ui/pngbutton/CTabButton.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <vector>

namespace {

// Counts the paint events of the widgets it is installed on.
class PaintCounter : public QObject
{
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
    int paints = 0;
};

// Sits in front of the recorder of boxes and keeps, for each box, whether a waiting
// dialog was still on the screen when it opened.
class TipsAtBox : public platform::MessageBoxHandler
{
public:
    TipsAtBox() : previous_(platform::SetMessageBoxHandler(this)) {}
    ~TipsAtBox() override { platform::SetMessageBoxHandler(previous_); }
    int Show(platform::MessageWindow* owner, const QString& text, const QString& caption,
             unsigned style) override
    {
        bool shown = false;
        for (QWidget* widget : QApplication::topLevelWidgets())
            shown = shown || (dynamic_cast<CDlgTips*>(widget) != nullptr && widget->isVisible());
        tipsShown.push_back(shown);
        return previous_->Show(owner, text, caption, style);
    }
    std::vector<bool> tipsShown;

private:
    platform::MessageBoxHandler* previous_;
};

class ViewsTest : public ViewsFixture
{
protected:
    // The far side runs its OpenVPN server where the machine allows it.
    static void SetUpTestSuite() { StartSuite(true); }
};

TEST_F(ViewsTest, TreeListsTheAccountsGatewaysWithTheirStateAndTheHomePage)
{
    ASSERT_NO_FATAL_FAILURE(StartAndLogIn());
    QTreeWidgetItem* root = tree_->RootItem();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(tree_->Tree()->topLevelItemCount(), 1);
    EXPECT_EQ(root->text(0), QStringLiteral("网关"));
    EXPECT_TRUE(root->isExpanded());
    ASSERT_EQ(root->childCount(), 3);
    const QString names[] = {QStringLiteral("一号车间网关"), QStringLiteral("二号车间网关"),
                             QStringLiteral("Pump station gateway")};
    const int states[] = {CFVLeftTree::kStateOnline, CFVLeftTree::kStateOffline, CFVLeftTree::kStateOnline};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Gateway(i)->text(0), names[i]);
        EXPECT_EQ(Gateway(i)->data(0, CFVLeftTree::kStateRole).toInt(), states[i]) << i;
    }
    EXPECT_TRUE(tree_->Tab(CFVLeftTree::IDC_TAB_ALL)->IsOn());
    EXPECT_FALSE(tree_->Tab(CFVLeftTree::IDC_TAB_RESULTS)->isVisible());
    EXPECT_FALSE(tree_->Tab(CFVLeftTree::IDC_TAB_SEARCH)->IsOn());
    EXPECT_FALSE(tree_->SearchField(0)->isVisible());

    // The home page: the address of the platform link; the empty office link hidden.
    CFVHomeInfo* home = dlg_->HomeView();
    EXPECT_TRUE(home->isVisible());
    EXPECT_TRUE(home->IotLink()->isVisible());
    EXPECT_EQ(home->IotLink()->Url(), QStringLiteral("http://127.0.0.1:1/"));
    EXPECT_FALSE(home->OfficeLink()->isVisible());

    // The root item is no gateway: selecting it sends nothing.
    Select(root);
    EXPECT_EQ(dlg_->DetailView(), nullptr);
    EXPECT_TRUE(home->isVisible());
    ScreenshotCheck::Expect(*dlg_, "home-view");
}

TEST_F(ViewsTest, SearchWithCriteriaShowsTheResultsTabAndWithoutTheFullList)
{
    ASSERT_NO_FATAL_FAILURE(StartAndLogIn());
    Select(Gateway(0));
    ASSERT_NE(dlg_->DetailView(), nullptr);

    tree_->Tab(CFVLeftTree::IDC_TAB_SEARCH)->click();
    EXPECT_TRUE(tree_->IsSearchFormShown());
    EXPECT_FALSE(tree_->Tree()->isVisible());
    EXPECT_TRUE(tree_->SearchField(2)->isVisible());
    EXPECT_EQ(tree_->SearchLabel(1)->text(), QStringLiteral("网关名称："));
    EXPECT_TRUE(tree_->Tab(CFVLeftTree::IDC_TAB_SEARCH)->IsOn());
    EXPECT_FALSE(tree_->Tab(CFVLeftTree::IDC_TAB_ALL)->IsOn());
    // The channel switch is locked while the search form is shown.
    EXPECT_FALSE(dlg_->DetailView()->ChannelSwitch()->isEnabled());

    tree_->SearchField(2)->setText(QStringLiteral("Riverside plant"));
    ScreenshotCheck::Expect(*dlg_, "tree-search-form");
    tree_->Button(CFVLeftTree::IDC_SEARCH)->click();
    EXPECT_TRUE(tree_->Tree()->isVisible());
    EXPECT_FALSE(tree_->Tab(CFVLeftTree::IDC_TAB_ALL)->isVisible());
    EXPECT_TRUE(tree_->Tab(CFVLeftTree::IDC_TAB_RESULTS)->isVisible());
    EXPECT_TRUE(tree_->Tab(CFVLeftTree::IDC_TAB_RESULTS)->IsOn());
    EXPECT_TRUE(dlg_->DetailView()->ChannelSwitch()->isEnabled());
    ASSERT_EQ(tree_->RootItem()->childCount(), 1);
    EXPECT_EQ(Gateway(0)->text(0), QStringLiteral("Pump station gateway"));

    tree_->Tab(CFVLeftTree::IDC_TAB_SEARCH)->click();
    tree_->SearchField(2)->clear();
    tree_->Button(CFVLeftTree::IDC_SEARCH)->click();
    EXPECT_TRUE(tree_->Tab(CFVLeftTree::IDC_TAB_ALL)->isVisible());
    EXPECT_FALSE(tree_->Tab(CFVLeftTree::IDC_TAB_RESULTS)->isVisible());
    EXPECT_EQ(tree_->RootItem()->childCount(), 3);
    EXPECT_EQ(boxes_.Count(), 0u);
}

TEST_F(ViewsTest, SelectingAGatewayShowsItsDevicesAndHomeGoesBack)
{
    ASSERT_NO_FATAL_FAILURE(StartAndLogIn());
    Select(Gateway(0));
    CFVGatewayDetail* detail = dlg_->DetailView();
    ASSERT_NE(detail, nullptr);
    EXPECT_TRUE(detail->isVisible());
    EXPECT_EQ(detail->geometry(), dlg_->RightArea());
    EXPECT_FALSE(dlg_->HomeView()->isVisible());
    EXPECT_EQ(detail->ChannelSwitch()->geometry(), QRect(110, 160, 66, 25));
    EXPECT_FALSE(detail->ChannelSwitch()->IsOn());
    ASSERT_NE(detail->Controller().DisplayedGateway(), nullptr);
    EXPECT_EQ(detail->Controller().DisplayedGateway()->gwSn, "LG2024000101");

    CFVTableDevice* table = dlg_->TableView();
    ASSERT_NE(table, nullptr);
    EXPECT_TRUE(table->isVisible());
    EXPECT_EQ(table->parentWidget(), detail);
    ASSERT_NE(table->Devices(), nullptr);
    const CFVTableDevice::DeviceList& devices = *table->Devices();
    ASSERT_EQ(devices.size(), 5u);
    EXPECT_EQ(devices[0]->AddressText(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(devices[1]->AddressText(), QStringLiteral("COM#,9600,8,N,1"));
    EXPECT_EQ(devices[3]->deviceName, QStringLiteral("摄像头"));
    EXPECT_EQ(devices[4]->deviceName, QStringLiteral("变频器"));
    // Buttons only for tunnel types 1 and 2 (the camera has none), empty rows none.
    const bool shown[CFVTableDevice::kRows] = {true, true, true, false, true, false, false};
    for (int row = 0; row < CFVTableDevice::kRows; ++row) {
        EXPECT_EQ(table->RowButton(row)->isVisible(), shown[row]) << row;
        EXPECT_EQ(table->RowButton(row)->geometry(), QRect(442, (row + 1) * 30, 130, 29)) << row;
        EXPECT_FALSE(table->RowButton(row)->IsOn());
    }
    ScreenshotCheck::Expect(*dlg_, "gateway-detail");

    tree_->Button(CFVLeftTree::IDC_HOME)->click();
    EXPECT_FALSE(detail->isVisible());
    EXPECT_FALSE(table->isVisible());
    EXPECT_TRUE(dlg_->HomeView()->isVisible());

    // Selecting again reuses the views with the new gateway: one offline device.
    Select(Gateway(1));
    EXPECT_EQ(dlg_->DetailView(), detail);
    EXPECT_TRUE(detail->isVisible());
    EXPECT_TRUE(table->isVisible());
    ASSERT_EQ(table->Devices()->size(), 1u);
    EXPECT_EQ((*table->Devices())[0]->AddressText(), QStringLiteral("COM#,38400,8,E,1"));
    EXPECT_TRUE(table->RowButton(0)->isVisible());
    EXPECT_FALSE(table->RowButton(1)->isVisible());
    EXPECT_EQ(boxes_.Count(), 0u);
}

TEST_F(ViewsTest, ChannelSwitchOfAnOfflineGatewayIsRefusedAndSendsNothing)
{
    ASSERT_NO_FATAL_FAILURE(StartAndLogIn());
    Select(Gateway(1));
    CFVGatewayDetail* detail = dlg_->DetailView();
    ASSERT_NE(detail, nullptr);
    const int publishedBefore = PublishedByPc();

    detail->ChannelSwitch()->click();

    ASSERT_EQ(boxes_.Count(), 1u);
    EXPECT_EQ(boxes_.Boxes()[0].text, QStringLiteral("设备不在线"));
    EXPECT_EQ(boxes_.Boxes()[0].caption, QStringLiteral("Lumetra"));
    EXPECT_EQ(boxes_.Boxes()[0].style, platform::kMbOk);
    EXPECT_FALSE(detail->ChannelSwitch()->IsOn());
    EXPECT_EQ(detail->Controller().ChannelGateway(), nullptr);
    EXPECT_TRUE(tips_.texts.isEmpty());
    EXPECT_TRUE(NothingPublishedSince(publishedBefore));
    ScreenshotCheck::Expect(*dlg_, "gateway-detail-offline");
}

TEST_F(ViewsTest, PortForwardRowButtonOpensALocalPortThatReachesTheDevice)
{
    if (!Port502Free())
        GTEST_SKIP() << "local port 502 cannot be bound here (needs CAP_NET_BIND_SERVICE)";
    CFVTableDevice* table = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenPlcRow(&table));
    EXPECT_TRUE(table->RowButton(0)->IsOn());
    ScreenshotCheck::Expect(*dlg_, "gateway-detail-tunnel-open");

    // Modbus TCP: read four holding registers from address 0 of the simulated PLC.
    QTcpSocket modbus;
    modbus.connectToHost(QHostAddress::LocalHost, 502);
    ASSERT_TRUE(PumpUntil([&] { return modbus.state() == QAbstractSocket::ConnectedState; }));
    modbus.write(QByteArray::fromHex("000100000006010300000004"));
    ASSERT_TRUE(PumpUntil([&] { return modbus.bytesAvailable() >= 17; }, 15000))
        << shared_->farside.Output().toStdString();
    EXPECT_EQ(modbus.readAll().toHex(), QByteArray("00010000000b010308"
                                                   "04b104b204b304b4"));
    modbus.close();

    table->RowButton(0)->click();
    ASSERT_TRUE(PumpUntil([&] { return boxes_.Count() >= 2; }, 15000));
    EXPECT_EQ(boxes_.Boxes()[1].text, QStringLiteral("网络透传通道关闭成功"));
    EXPECT_FALSE(table->RowButton(0)->IsOn());
}

// Two Modbus TCP rows open at once: each row's address cell says where to connect,
// each address reaches its own device on port 502, and closing one row leaves the
// other open and readable.
TEST_F(ViewsTest, TwoPortForwardRowsOpenSideBySideOnTheirOwnAddresses)
{
    if (!Port502Free() || !FreePort::IsFree(502, "127.0.1.2"))
        GTEST_SKIP() << "local port 502 cannot be bound here (needs CAP_NET_BIND_SERVICE)";
    CFVTableDevice* table = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenPlcRow(&table));
    const int driveRow = static_cast<int>(table->Devices()->size()) - 1;
    CNodeDevice* plc = (*table->Devices())[0].get();
    CNodeDevice* drive = (*table->Devices())[static_cast<size_t>(driveRow)].get();
    ASSERT_EQ(drive->deviceSn, QStringLiteral("DEV-5005"));
    table->RowButton(driveRow)->click();
    ASSERT_TRUE(PumpUntil([&] { return boxes_.Count() >= 2; }, 15000))
        << shared_->farside.Output().toStdString();
    EXPECT_EQ(boxes_.Boxes()[1].text, QStringLiteral("网络透传通道建立成功"));
    EXPECT_TRUE(table->RowButton(0)->IsOn());
    EXPECT_TRUE(table->RowButton(driveRow)->IsOn());
    GatewayDetailController& controller = dlg_->DetailView()->Controller();
    EXPECT_EQ(controller.ConnectAddress(plc), QStringLiteral("127.0.0.1:502"));
    EXPECT_EQ(controller.ConnectAddress(drive), QStringLiteral("127.0.1.2:502"));

    // Modbus TCP: four holding registers from address 0 of each device.
    auto read = [&](const QString& address) {
        QTcpSocket modbus;
        modbus.connectToHost(address, 502);
        if (!PumpUntil([&] { return modbus.state() == QAbstractSocket::ConnectedState; }))
            return QByteArray("no connection");
        modbus.write(QByteArray::fromHex("000100000006010300000004"));
        PumpUntil([&] { return modbus.bytesAvailable() >= 17; }, 15000);
        return modbus.readAll().toHex();
    };
    EXPECT_EQ(read("127.0.0.1"), QByteArray("00010000000b010308"
                                            "04b104b204b304b4"));
    EXPECT_EQ(read("127.0.1.2"), QByteArray("00010000000b010308"
                                            "0c810c820c830c84"));

    table->RowButton(0)->click();
    ASSERT_TRUE(PumpUntil([&] { return boxes_.Count() >= 3; }, 15000));
    EXPECT_EQ(boxes_.Boxes()[2].text, QStringLiteral("网络透传通道关闭成功"));
    EXPECT_FALSE(table->RowButton(0)->IsOn());
    EXPECT_EQ(controller.ConnectAddress(plc), plc->AddressText());
    EXPECT_TRUE(table->RowButton(driveRow)->IsOn());
    EXPECT_EQ(read("127.0.1.2"), QByteArray("00010000000b010308"
                                            "0c810c820c830c84"));
    table->RowButton(driveRow)->click();
    ASSERT_TRUE(PumpUntil([&] { return boxes_.Count() >= 4; }, 15000));
    EXPECT_FALSE(table->RowButton(driveRow)->IsOn());
}

TEST_F(ViewsTest, SerialRowButtonOpensAVirtualComPortThatReachesTheDevice)
{
    ASSERT_NO_FATAL_FAILURE(StartAndLogIn());
    Select(Gateway(0));
    CFVTableDevice* table = dlg_->TableView();
    ASSERT_NE(table, nullptr);
    CNodeDevice* meter = (*table->Devices())[1].get();
    ASSERT_EQ(meter->deviceName, QStringLiteral("温控仪表"));

    table->RowButton(1)->click();
    ASSERT_TRUE(PumpUntil([&] { return boxes_.Count() >= 1; }, 30000))
        << shared_->farside.Output().toStdString();
    EXPECT_EQ(boxes_.Boxes()[0].text, QStringLiteral("串口透传通道建立成功"));
    EXPECT_TRUE(table->RowButton(1)->IsOn());
    // The first pair of a fresh folder: COM1 for the tunnel, COM2 for the user.
    EXPECT_EQ(meter->AddressText(), QStringLiteral("COM2,9600,8,N,1"));
    ScreenshotCheck::Expect(*dlg_, "serial-tunnel-open");

    EXPECT_EQ(ReadRtuRegisters(QString::fromStdString(vcom_.LinkPath(2)), 4),
              (std::vector<uint16_t>{251, 252, 253, 254}))
        << shared_->farside.Output().toStdString();

    table->RowButton(1)->click();
    ASSERT_EQ(boxes_.Count(), 2u);
    EXPECT_EQ(boxes_.Boxes()[1].text, QStringLiteral("串口透传通道关闭成功"));
    EXPECT_FALSE(table->RowButton(1)->IsOn());
    EXPECT_EQ(meter->AddressText(), QStringLiteral("COM#,9600,8,N,1"));
}

TEST_F(ViewsTest, UnansweredOpenTimesOutAndResetsTheRow)
{
    ASSERT_NO_FATAL_FAILURE(StartAndLogIn());
    Select(Gateway(2));
    CFVTableDevice* table = dlg_->TableView();
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->Devices()->size(), 2u);
    CNodeDevice* silent = (*table->Devices())[1].get();
    ASSERT_EQ(silent->deviceName, QStringLiteral("Silent meter"));
    dlg_->DetailView()->Controller().SetTipsTimeout(500);

    table->RowButton(1)->click();
    EXPECT_TRUE(FarsideSaid(QStringLiteral("left unanswered (fault no-answer)")));
    ASSERT_EQ(boxes_.Count(), 1u);
    EXPECT_EQ(boxes_.Boxes()[0].text, QStringLiteral("请求超时"));
    EXPECT_EQ(boxes_.Boxes()[0].caption, QStringLiteral("Lumetra"));
    EXPECT_EQ(tips_.texts, QStringList{QStringLiteral("通道启动中，请稍等")});
    EXPECT_EQ(dlg_->DetailView()->Controller().CurrentTipsDialog(), nullptr);
    EXPECT_FALSE(table->RowButton(1)->IsOn());
    EXPECT_EQ(silent->tunnelOpen, 0);
    EXPECT_EQ(silent->AddressText(), QStringLiteral("COM#,9600,8,N,1"));
}

TEST_F(ViewsTest, ChannelSwitchIsInUseWhileAnotherPcHoldsItAndAsksBeforeMovingToAnotherGateway)
{
    ASSERT_NO_FATAL_FAILURE(StartAndLogIn());
    // Another PC takes the first gateway's channel.
    const std::string otherPc = "17250000001234567890";
    const JsonPtr request = mqtt_build_vpn_channel_request("LG2024000101", otherPc.c_str());
    PublishAsOtherPc("/" + otherPc + "/lumetraToServer", mqtt_json_print(request.get()));
    ASSERT_TRUE(FarsideSaid(QString::fromStdString("sent /" + otherPc + "/lumetraToPC")));

    Select(Gateway(0));
    CFVGatewayDetail* detail = dlg_->DetailView();
    ASSERT_NE(detail, nullptr);
    detail->ChannelSwitch()->click();
    EXPECT_EQ(tips_.texts,
              (QStringList{QStringLiteral("通道启动中，请稍等"), QStringLiteral("网关通道已经在使用中！")}));
    EXPECT_FALSE(detail->ChannelSwitch()->IsOn());
    EXPECT_EQ(detail->Controller().ChannelGateway(), nullptr);
    EXPECT_EQ(vpnClientStarts_, 0);

    // The other PC goes away (its last will): the channel is granted now.
    char will[600];
    std::snprintf(will, sizeof will, kWillPayloadFormat, otherPc.c_str(), kCmdPcOfflineWill);
    PublishAsOtherPc(kWillTopic, will);
    ASSERT_TRUE(FarsideSaid(QString::fromStdString("channel of LG2024000101 freed (PC " + otherPc)));
    tips_.texts.clear();
    detail->ChannelSwitch()->click();
    EXPECT_EQ(tips_.texts, QStringList{QStringLiteral("通道启动中，请稍等")});
    EXPECT_TRUE(detail->ChannelSwitch()->IsOn());
    ASSERT_NE(detail->Controller().ChannelGateway(), nullptr);
    EXPECT_EQ(detail->Controller().ChannelGateway()->gwSn, "LG2024000101");
    EXPECT_EQ(vpnClientStarts_, 1);
    // The gateway's state report reaches the card, which reports the LAN back.
    EXPECT_TRUE(
        FarsideSaid(QStringLiteral("99 for LG2024000101 LAN 192.168.10.1/255.255.255.0 switched on")));
    EXPECT_EQ(boxes_.Count(), 0u);

    // Another gateway: the question names the open channel; No sends nothing.
    Select(Gateway(2));
    EXPECT_FALSE(detail->ChannelSwitch()->IsOn());
    const int publishedBefore = PublishedByPc();
    boxes_.Answer(platform::kIdNo);
    detail->ChannelSwitch()->click();
    ASSERT_EQ(boxes_.Count(), 1u);
    EXPECT_EQ(boxes_.Boxes()[0].text, QStringLiteral("LG2024000101通道已经建立，是否关闭通道？"));
    EXPECT_EQ(boxes_.Boxes()[0].caption, QString());
    EXPECT_EQ(boxes_.Boxes()[0].style, platform::kMbYesNo);
    EXPECT_FALSE(detail->ChannelSwitch()->IsOn());
    EXPECT_EQ(detail->Controller().ChannelGateway()->gwSn, "LG2024000101");
    EXPECT_TRUE(NothingPublishedSince(publishedBefore));

    // Yes: the channel moves to the shown gateway, with a new client.
    boxes_.Answer(platform::kIdYes);
    detail->ChannelSwitch()->click();
    ASSERT_EQ(boxes_.Count(), 2u);
    EXPECT_TRUE(detail->ChannelSwitch()->IsOn());
    EXPECT_EQ(detail->Controller().ChannelGateway()->gwSn, "LG2024000103");
    EXPECT_EQ(vpnClientStarts_, 2);
    Select(Gateway(0));
    EXPECT_FALSE(detail->ChannelSwitch()->IsOn());

    // Switched off: the client ends, and the far side's answer ends the channel.
    Select(Gateway(2));
    const int stopsBefore = vpnClientStops_;
    detail->ChannelSwitch()->click();
    ASSERT_EQ(boxes_.Count(), 3u);
    EXPECT_EQ(boxes_.Boxes()[2].text, QStringLiteral("通道关闭成功"));
    EXPECT_EQ(vpnClientStops_, stopsBefore + 1);
    EXPECT_TRUE(PumpUntil([&] { return detail->Controller().ChannelGateway() == nullptr; }));
    EXPECT_FALSE(detail->ChannelSwitch()->IsOn());
    EXPECT_EQ(boxes_.Count(), 3u);
}

TEST_F(ViewsTest, ChannelSwitchStartsTheOpenVpnClientAndTheCardDrawsItsLinkUp)
{
    const QString server =
        QRegularExpression(QStringLiteral("^vpn server (.*)$"), QRegularExpression::MultilineOption)
            .match(shared_->farside.Output())
            .captured(1);
    if (!server.endsWith(QStringLiteral(" running")))
        GTEST_SKIP() << "the far side runs no OpenVPN server here: " << server.toStdString();
    // The installation's certificate authority is the one of the far side's server.
    home_.Write(QStringLiteral("lumetra/ca.crt"), TempDir::Read(shared_->dir.FilePath("ca.crt")));
    // A program that merely has "openvpn" in its name lives through the window's
    // start-up and the channel's close.
    TempDir others;
    NamedProcess bystander(others.Path(), QStringLiteral("openvpn-bystander"));
    ASSERT_TRUE(bystander.IsUp());
    ASSERT_NO_FATAL_FAILURE(StartAndLogIn(true));
    Select(Gateway(0));
    CFVGatewayDetail* detail = dlg_->DetailView();
    ASSERT_NE(detail, nullptr);
    EXPECT_FALSE(detail->Controller().LinkUp());

    detail->ChannelSwitch()->click();
    EXPECT_TRUE(detail->ChannelSwitch()->IsOn());
    // The client's management port reports the link up: no crosses on the link picture.
    ASSERT_TRUE(PumpUntil([&] { return detail->Controller().LinkUp(); }, 60000))
        << TempDir::Read(home_.FilePath(QStringLiteral("lumetra/openvpn-trace.log"))).toStdString();
    EXPECT_TRUE(
        FarsideSaid(QStringLiteral("99 for LG2024000101 LAN 192.168.10.1/255.255.255.0 switched on")));
    EXPECT_TRUE(detail->ChannelSwitch()->IsOn());
    EXPECT_EQ(VpnClients().size(), 1u);
    EXPECT_EQ(boxes_.Count(), 0u);
    ScreenshotCheck::Expect(*dlg_, "gateway-detail-channel-on");

    detail->ChannelSwitch()->click();
    ASSERT_EQ(boxes_.Count(), 1u);
    EXPECT_EQ(boxes_.Boxes()[0].text, QStringLiteral("通道关闭成功"));
    EXPECT_FALSE(detail->Controller().LinkUp());
    EXPECT_TRUE(VpnClients().empty());
    EXPECT_TRUE(bystander.IsRunning());
    // The far side's answer ends the channel: the switch shows OFF.
    EXPECT_TRUE(PumpUntil([&] { return detail->Controller().ChannelGateway() == nullptr; }));
    EXPECT_FALSE(detail->ChannelSwitch()->IsOn());
}

TEST_F(ViewsTest, AGatewayLeftAloneIsNotPaintedAgainAndAgain)
{
    ASSERT_NO_FATAL_FAILURE(StartAndLogIn());
    Select(Gateway(0));
    ASSERT_NE(dlg_->DetailView(), nullptr);
    ASSERT_NE(dlg_->TableView(), nullptr);
    RunEventsFor(300); // the paints of the selection itself
    PaintCounter counter;
    dlg_->DetailView()->installEventFilter(&counter);
    dlg_->TableView()->installEventFilter(&counter);
    RunEventsFor(3000);
    dlg_->DetailView()->removeEventFilter(&counter);
    dlg_->TableView()->removeEventFilter(&counter);
    EXPECT_LE(counter.paints, 4);
}

TEST_F(ViewsTest, ARowShowsOnlyATunnelThatOpenedAndItsBoxComesAfterTheWaitingDialog)
{
    TipsAtBox tipsAtBox;
    ASSERT_NO_FATAL_FAILURE(StartAndLogIn());

    // An offline gateway: the row stays "open", and the next press says offline again
    // instead of closing a tunnel that never opened.
    Select(Gateway(1));
    CFVTableDevice* table = dlg_->TableView();
    ASSERT_NE(table, nullptr);
    CNodeDevice* offline = (*table->Devices())[0].get();
    for (int press = 1; press <= 2; ++press) {
        table->RowButton(0)->click();
        ASSERT_EQ(boxes_.Count(), size_t(press));
        EXPECT_EQ(boxes_.Boxes().back().text, QStringLiteral("设备不在线"));
        EXPECT_FALSE(table->RowButton(0)->IsOn());
        EXPECT_EQ(offline->tunnelOpen, 0);
    }

    // The serial open waits in a dialog that is gone when its answer's box opens.
    Select(Gateway(0));
    table->RowButton(1)->click();
    ASSERT_TRUE(PumpUntil([&] { return boxes_.Count() >= 3; }, 30000));
    EXPECT_EQ(boxes_.Boxes()[2].text, QStringLiteral("串口透传通道建立成功"));
    EXPECT_TRUE(tips_.texts.contains(QStringLiteral("通道启动中，请稍等")));
    table->RowButton(1)->click();
    ASSERT_EQ(boxes_.Count(), 4u);

    // So is the one of an open nobody answers, when it times out.
    Select(Gateway(2));
    dlg_->DetailView()->Controller().SetTipsTimeout(500);
    table->RowButton(1)->click();
    ASSERT_TRUE(PumpUntil([&] { return boxes_.Count() >= 5; }, 15000));
    EXPECT_EQ(boxes_.Boxes()[4].text, QStringLiteral("请求超时"));
    EXPECT_EQ(tipsAtBox.tipsShown, std::vector<bool>(5, false));
}

TEST_F(ViewsTest, ASearchKeepsAnOpenTunnelOnItsRowWhereItCanBeClosed)
{
    if (!Port502Free())
        GTEST_SKIP() << "local port 502 cannot be bound here (needs CAP_NET_BIND_SERVICE)";
    CFVTableDevice* table = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenPlcRow(&table));

    // The full list again: new records, and the row of the new one shows the tunnel.
    SearchAll();
    Select(Gateway(0));
    EXPECT_TRUE(table->RowButton(0)->IsOn());
    table->RowButton(0)->click();
    ASSERT_TRUE(PumpUntil([&] { return boxes_.Count() >= 2; }, 15000));
    EXPECT_EQ(boxes_.Boxes()[1].text, QStringLiteral("网络透传通道关闭成功"));
    EXPECT_FALSE(table->RowButton(0)->IsOn());
    EXPECT_TRUE(PumpUntil([] {
        QTcpServer probe;
        return probe.listen(QHostAddress::LocalHost, 502);
    }));

    // It opens again as the only tunnel of its kind, once the gateway has the unbind
    // of the close (it travels over the broker, the new relay registration directly).
    EXPECT_TRUE(FarsideSaid(QStringLiteral("LG2024000101: 2998 DEV-5001 ")));
    table->RowButton(0)->click();
    ASSERT_TRUE(PumpUntil([&] { return boxes_.Count() >= 3; }, 15000));
    EXPECT_EQ(boxes_.Boxes()[2].text, QStringLiteral("网络透传通道建立成功"));
    table->RowButton(0)->click();
    ASSERT_TRUE(PumpUntil([&] { return boxes_.Count() >= 4; }, 15000));
    EXPECT_EQ(boxes_.Boxes()[3].text, QStringLiteral("网络透传通道关闭成功"));
}

TEST_F(ViewsTest, ChannelSwitchReachesOffWithTheFarSideDown)
{
    ASSERT_NO_FATAL_FAILURE(StartAndLogIn());
    Select(Gateway(0));
    CFVGatewayDetail* detail = dlg_->DetailView();
    ASSERT_NE(detail, nullptr);
    detail->ChannelSwitch()->click();
    ASSERT_TRUE(detail->ChannelSwitch()->IsOn());
    ASSERT_TRUE(
        FarsideSaid(QStringLiteral("99 for LG2024000101 LAN 192.168.10.1/255.255.255.0 switched on")));

    // A search in between: the switch of the new record is the same switch.
    SearchAll();
    Select(Gateway(0));
    EXPECT_TRUE(detail->ChannelSwitch()->IsOn());

    shared_->farside.Stop();
    const int publishedBefore = PublishedByPc();
    detail->ChannelSwitch()->click();
    ASSERT_EQ(boxes_.Count(), 1u);
    EXPECT_EQ(boxes_.Boxes()[0].text, QStringLiteral("通道关闭成功"));
    EXPECT_FALSE(detail->ChannelSwitch()->IsOn());
    EXPECT_EQ(detail->Controller().ChannelGateway(), nullptr);
    // The release went to the broker.
    EXPECT_TRUE(PumpUntil([&] { return PublishedByPc() > publishedBefore; }));
    RunEventsFor(200);
    EXPECT_FALSE(detail->ChannelSwitch()->IsOn());

    // The far side back (it knows no channel): the switch works as before.
    ASSERT_TRUE(RestartFarside()) << shared_->farside.Error().toStdString();
    ASSERT_TRUE(FarsideSaid(QStringLiteral("broker connected")));
    detail->ChannelSwitch()->click();
    EXPECT_TRUE(detail->ChannelSwitch()->IsOn());
    detail->ChannelSwitch()->click();
    ASSERT_EQ(boxes_.Count(), 2u);
    EXPECT_FALSE(detail->ChannelSwitch()->IsOn());
    EXPECT_TRUE(FarsideSaid(QStringLiteral("switched off")));
    RunEventsFor(200);
    EXPECT_FALSE(detail->ChannelSwitch()->IsOn());
    EXPECT_EQ(boxes_.Count(), 2u);
}

} // namespace
