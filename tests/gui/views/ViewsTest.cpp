// The logged-in views against the real far side and a real broker: the gateway tree
// (state icons, search, root item, home button), a gateway's devices in the table,
// and the channel switch of an offline gateway.

#include "cloud/CNodeDevice.h"
#include "cloud/CNodeGateway.h"
#include "gui/common/GuiTestApp.h"
#include "gui/common/ScreenshotCheck.h"
#include "mqtt-c/mosquitto_wrapper.h"
#include "mqtt-c/mqtt_thread.h"
#include "platform/MessageBox.h"
#include "support/FarsideProcess.h"
#include "support/FreePort.h"
#include "support/MessageBoxRecorder.h"
#include "support/MosquittoBroker.h"
#include "support/PlatconfBuilder.h"
#include "support/PumpUntil.h"
#include "support/TempDir.h"
#include "ui/CDLEdit.h"
#include "ui/CFVGatewayDetail.h"
#include "ui/CFVHomeInfo.h"
#include "ui/CFVLeftTree.h"
#include "ui/CFVLogin.h"
#include "ui/CFVTableDevice.h"
#include "ui/Clumetra_uniDlg.h"
#include "ui/hyperlink/CHyperLink.h"
#include "ui/pngbutton/CTabButton.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

namespace {

class ViewsTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        GuiTestApp::Ensure();
        QApplication::setCursorFlashTime(0);
        shared_ = new Shared;
        // A failure here is reported by SetUp, so it fails every test instead of
        // making GoogleTest skip them.
        if (!shared_->broker.Start()) {
            shared_->error = "broker: " + shared_->broker.Error().toStdString();
            return;
        }
        const QString demo = QStringLiteral(LUMETRA_SOURCE_DIR "/demo/platconf/");
        const MosquittoBroker& broker = shared_->broker;
        PlatconfBuilder()
            .Text("wsh", "127.0.0.1")
            .Text("wsp", std::to_string(FreePort::Pick()))
            .Text("bh", broker.Host())
            .Text("bp", std::to_string(broker.Port()))
            .Text("busername", broker.User())
            .Text("bpassword", broker.Password())
            .Text("port_transfer_host", "127.0.0.1")
            .Text("port_transfer_port", std::to_string(FreePort::Pick()))
            .Text("relay_port", std::to_string(FreePort::Pick()))
            .Bytes("logo.png", GuiTestApp::ReadFile(demo + "logo.png"))
            .Rect("logo.png", 16, 6, 136, 42)
            .Bytes("title.png", GuiTestApp::ReadFile(demo + "title.png"))
            .Rect("title.png", 150, 6, 350, 42)
            .Text("hotline", GuiTestApp::ReadFile(demo + "hotline").toStdString())
            .Text("wslabel", GuiTestApp::ReadFile(demo + "wslabel").toStdString())
            .Text("compname", GuiTestApp::ReadFile(demo + "compname").toStdString())
            .Text("dtver", GuiTestApp::ReadFile(demo + "dtver").toStdString())
            .Text("ioturl", "http://127.0.0.1:1/")
            .Text("officeurl", "")
            .Text("addurl", "http://127.0.0.1:1/gateway/add")
            .Bytes("qr_code.png", GuiTestApp::ReadFile(demo + "qr_code.png"))
            .Rect("qr_code.png", 60, 310, 170, 420)
            .WriteTo(shared_->dir.FilePath("platconf"));
        if (!shared_->farside.Start(
                shared_->dir.FilePath("platconf"), QStringLiteral(LUMETRA_SOURCE_DIR "/demo/inventory.json"),
                {QStringLiteral("--no-vpn-server"), QStringLiteral("--keepalive"), QStringLiteral("0")}))
            shared_->error = "far side: " + shared_->farside.Error().toStdString();
    }

    static void TearDownTestSuite()
    {
        delete shared_;
        shared_ = nullptr;
    }

    void SetUp() override
    {
        ASSERT_TRUE(shared_->error.empty()) << shared_->error;
        ASSERT_TRUE(shared_->farside.IsRunning());
        home_.Write(QStringLiteral("custom_resource/platconf"),
                    GuiTestApp::ReadFile(shared_->dir.FilePath("platconf")));
        qputenv("LUMETRA_HOME", home_.Path().toLocal8Bit());
        qputenv("USERPROFILE", home_.Path().toLocal8Bit());
    }

    void TearDown() override
    {
        dlg_.reset();
        if (mqtt_.joinable()) {
            const bool ended = PumpUntil([this] {
                mqtt_client_stop();
                return mqttDone_.load();
            });
            if (ended)
                mqtt_.join();
            else
                mqtt_.detach();
        }
        qunsetenv("LUMETRA_HOME");
        qunsetenv("USERPROFILE");
    }

    // Starts the window with a real MQTT thread and logs in as the demo account.
    void StartAndLogIn()
    {
        Clumetra_uniDlg::Services services;
        services.stopVpnClients = [] {};
        services.startMqttThread = [this] {
            mqtt_ = std::thread([this] {
                mqtt_thread_entry();
                mqttDone_ = true;
            });
        };
        dlg_ = std::make_unique<Clumetra_uniDlg>(services);
        dlg_->OnInitDialog();
        dlg_->show();
        const QString subscribed = QStringLiteral("/%1/lumetraToPC").arg(QString::fromLatin1(mqtt_pc_id()));
        ASSERT_TRUE(PumpUntil([&] { return shared_->broker.CountLogLines(subscribed) >= 1; }, 15000));
        CFVLogin* login = dlg_->LoginView();
        login->UserField()->setText(QStringLiteral("demo"));
        login->PasswordField()->setText(QStringLiteral("demo123"));
        login->RememberBox()->setChecked(false);
        login->LoginButton()->click();
        ASSERT_TRUE(dlg_->IsLoggedIn());
        ASSERT_NE(dlg_->TreeView(), nullptr);
        tree_ = dlg_->TreeView();
    }

    QTreeWidgetItem* Gateway(int index) const { return tree_->RootItem()->child(index); }

    void Select(QTreeWidgetItem* item)
    {
        tree_->Tree()->setCurrentItem(item);
        QApplication::processEvents();
    }

    void ExpectScreenshot(const char* name)
    {
        QApplication::processEvents();
        QString why;
        EXPECT_TRUE(ScreenshotCheck::Matches(dlg_->grab().toImage(), QString::fromUtf8(name), &why))
            << why.toStdString();
    }

    struct Shared
    {
        TempDir dir;
        MosquittoBroker broker;
        FarsideProcess farside;
        std::string error;
    };
    static inline Shared* shared_ = nullptr;

    TempDir home_;
    MessageBoxRecorder boxes_;
    std::unique_ptr<Clumetra_uniDlg> dlg_;
    CFVLeftTree* tree_ = nullptr;
    std::thread mqtt_;
    std::atomic<bool> mqttDone_{false};
};

TEST_F(ViewsTest, TreeListsTheAccountsGatewaysWithTheirStateAndTheHomePage)
{
    StartAndLogIn();
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
    ExpectScreenshot("home-view");
}

TEST_F(ViewsTest, SearchWithCriteriaShowsTheResultsTabAndWithoutTheFullList)
{
    StartAndLogIn();
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
    ExpectScreenshot("tree-search-form");
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
    StartAndLogIn();
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
    const std::vector<CNodeDevice*>& devices = *table->Devices();
    ASSERT_EQ(devices.size(), 4u);
    EXPECT_EQ(devices[0]->AddressText(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(devices[1]->AddressText(), QStringLiteral("COM#,9600,8,N,1"));
    EXPECT_EQ(devices[3]->deviceName, QStringLiteral("摄像头"));
    // Buttons only for tunnel types 1 and 2 (the camera has none), empty rows none.
    const bool shown[CFVTableDevice::kRows] = {true, true, true, false, false, false, false};
    for (int row = 0; row < CFVTableDevice::kRows; ++row) {
        EXPECT_EQ(table->RowButton(row)->isVisible(), shown[row]) << row;
        EXPECT_EQ(table->RowButton(row)->geometry(), QRect(442, (row + 1) * 30, 130, 29)) << row;
        EXPECT_FALSE(table->RowButton(row)->IsOn());
    }
    ExpectScreenshot("gateway-detail");

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
    StartAndLogIn();
    Select(Gateway(1));
    CFVGatewayDetail* detail = dlg_->DetailView();
    ASSERT_NE(detail, nullptr);
    const QString fromPc = QStringLiteral("Received PUBLISH from ") + QString::fromLatin1(mqtt_pc_id());
    const int publishedBefore = shared_->broker.CountLogLines(fromPc);

    detail->ChannelSwitch()->click();

    ASSERT_EQ(boxes_.Count(), 1u);
    EXPECT_EQ(boxes_.Boxes()[0].text, QStringLiteral("设备不在线"));
    EXPECT_EQ(boxes_.Boxes()[0].caption, QStringLiteral("Lumetra"));
    EXPECT_EQ(boxes_.Boxes()[0].style, MB_OK);
    EXPECT_FALSE(detail->ChannelSwitch()->IsOn());
    EXPECT_EQ(detail->Controller().ChannelGateway(), nullptr);
    // Nothing went to the broker: a marker published now is the next message seen.
    const std::string marker = "views-test-marker";
    mqtt_publish("/views-test/marker", marker.data(), int(marker.size()), 0);
    ASSERT_TRUE(PumpUntil(
        [&] { return shared_->broker.CountLogLines(QStringLiteral("'/views-test/marker'")) >= 1; }));
    EXPECT_EQ(shared_->broker.CountLogLines(fromPc), publishedBefore + 1);
    ExpectScreenshot("gateway-detail-offline");
}

TEST_F(ViewsTest, PortForwardRowButtonOpensALocalPortThatReachesTheDevice)
{
    {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 502))
            GTEST_SKIP() << "local port 502 cannot be bound here (needs CAP_NET_BIND_SERVICE)";
    }
    StartAndLogIn();
    Select(Gateway(0));
    CFVTableDevice* table = dlg_->TableView();
    ASSERT_NE(table, nullptr);

    table->RowButton(0)->click();
    ASSERT_TRUE(PumpUntil([&] { return boxes_.Count() >= 1; }, 15000));
    EXPECT_EQ(boxes_.Boxes()[0].text, QStringLiteral("网络透传通道建立成功"));
    EXPECT_TRUE(table->RowButton(0)->IsOn());
    ExpectScreenshot("gateway-detail-tunnel-open");

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

} // namespace
