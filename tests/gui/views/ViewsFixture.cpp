#include "gui/views/ViewsFixture.h"

#include "app/JsonPtr.h"
#include "gui/common/GuiTestApp.h"
#include "mqtt-c/mqtt_thread.h"
#include "platform/ProcessLauncher.h"
#include "support/FreePort.h"
#include "support/OpenVpnStandIn.h"
#include "support/PlatconfBuilder.h"
#include "support/PumpUntil.h"
#include "ui/CFVLogin.h"
#include "ui/CFVTableDevice.h"
#include "ui/pngbutton/CTabButton.h"

#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QTcpServer>
#include <QTimer>
#include <QTreeWidget>

#include <cjson/cJSON.h>
#include <modbus/modbus.h>

namespace {

// A serial meter on the pump station gateway whose open the gateway never answers.
const char kSilentMeter[] = R"({"deviceId":5022,"id":"d5022","deviceName":"Silent meter",
 "deviceSn":"DEV-5022","ifaceTypeName":"RS485","online":true,"ifaceType":2,"ip":"","port":0,
 "com":"COM1","baud":9600,"databit":8,"parity":0,"stopbit":1,"timeout":1000,"protocol":"1",
 "tunType":2,"tunConnectType":0,"fault":"no-answer"})";

// The demo inventory with two changes: its simulated network devices listen on free
// ports (a demo running on this machine holds the fixed ones), and the silent meter
// joins its third gateway.
QByteArray TestInventory()
{
    const JsonPtr root(
        cJSON_Parse(TempDir::Read(QStringLiteral(LUMETRA_SOURCE_DIR "/demo/inventory.json")).constData()));
    cJSON *account = nullptr, *gateway = nullptr, *device = nullptr;
    cJSON_ArrayForEach(account, cJSON_GetObjectItem(root.get(), "accounts"))
    {
        cJSON_ArrayForEach(gateway, cJSON_GetObjectItem(account, "gateways"))
        {
            cJSON_ArrayForEach(device, cJSON_GetObjectItem(gateway, "devices"))
            {
                if (cJSON* port = cJSON_GetObjectItem(device, "port");
                    cJSON_HasObjectItem(device, "simulation") && port)
                    cJSON_SetNumberValue(port, 0);
            }
        }
    }
    cJSON* pumpStation = cJSON_GetArrayItem(
        cJSON_GetObjectItem(cJSON_GetArrayItem(cJSON_GetObjectItem(root.get(), "accounts"), 0), "gateways"),
        2);
    cJSON_AddItemToArray(cJSON_GetObjectItem(pumpStation, "devices"), cJSON_Parse(kSilentMeter));
    return QByteArray(JsonText(cJSON_PrintUnformatted(root.get())).get());
}

} // namespace

void ViewsFixture::StartSuite(bool vpnServer)
{
    GuiTestApp::Ensure();
    QApplication::setCursorFlashTime(0);
    shared_ = new Shared;
    if (!shared_->broker.Start()) {
        shared_->error = "broker: " + shared_->broker.Error().toStdString();
        return;
    }
    const QString demo = QStringLiteral(LUMETRA_SOURCE_DIR "/demo/platconf/");
    const MosquittoBroker& broker = shared_->broker;
    PlatconfBuilder platconf;
    platconf.WebService(FreePort::Pick())
        .Broker(broker)
        .TunnelServers(FreePort::Pick(), FreePort::Pick())
        .Bytes("logo.png", TempDir::Read(demo + "logo.png"))
        .Rect("logo.png", 16, 6, 136, 42)
        .Bytes("title.png", TempDir::Read(demo + "title.png"))
        .Rect("title.png", 150, 6, 350, 42)
        .Text("hotline", TempDir::Read(demo + "hotline").toStdString())
        .Text("wslabel", TempDir::Read(demo + "wslabel").toStdString())
        .Text("compname", TempDir::Read(demo + "compname").toStdString())
        .Text("dtver", TempDir::Read(demo + "dtver").toStdString())
        .Text("ioturl", "http://127.0.0.1:1/")
        .Text("officeurl", "")
        .Text("addurl", "http://127.0.0.1:1/gateway/add")
        .Bytes("qr_code.png", TempDir::Read(demo + "qr_code.png"))
        .Rect("qr_code.png", 60, 310, 170, 420);
    shared_->farsideOptions = vpnServer
                                  ? QStringList{QStringLiteral("--vpn-ca"), shared_->dir.FilePath("ca.crt")}
                                  : QStringList{QStringLiteral("--no-vpn-server")};
    shared_->farsideOptions << QStringLiteral("--keepalive") << QStringLiteral("0");
    if (!platconf.WriteTo(shared_->dir.FilePath("platconf")))
        shared_->error = "platconf: " + platconf.Problem();
    else if (!shared_->farside.Start(shared_->dir.FilePath("platconf"),
                                     shared_->dir.Write("inventory.json", TestInventory()),
                                     shared_->farsideOptions))
        shared_->error = "far side: " + shared_->farside.Error().toStdString();
}

void ViewsFixture::TearDownTestSuite()
{
    delete shared_;
    shared_ = nullptr;
}

void ViewsFixture::SetUp()
{
    ASSERT_TRUE(shared_->error.empty()) << shared_->error;
    ASSERT_TRUE(shared_->farside.IsRunning());
    home_.Write(QStringLiteral("custom_resource/platconf"), TempDir::Read(shared_->dir.FilePath("platconf")));
    qputenv("LUMETRA_HOME", home_.Path().toLocal8Bit());
    qputenv("USERPROFILE", home_.Path().toLocal8Bit());
    // The pair tool is found in the program folder.
    ASSERT_TRUE(QFile::link(QString::fromStdString(VcomFolder::ToolPath()), home_.FilePath("lumetra-vcom")));
    previousTips_ = platform::TipsDialog::SetPresenter(&tips_);
}

void ViewsFixture::TearDown()
{
    // A client left by a failed case would hold the management port.
    for (int64_t pid : VpnClients()) {
        platform::ProcessLauncher::Kill(pid);
        platform::ProcessLauncher::WaitGone(pid, 5000);
    }
    dlg_.reset();
    if (mqtt_.joinable()) {
        const bool ended = PumpUntil([this] {
            connection_->Stop();
            return mqttDone_.load();
        });
        if (ended)
            mqtt_.join();
        else
            mqtt_.detach();
    }
    platform::TipsDialog::SetPresenter(previousTips_);
    qunsetenv("LUMETRA_HOME");
    qunsetenv("USERPROFILE");
}

void ViewsFixture::StartAndLogIn(bool realVpnClient)
{
    Clumetra_uniDlg::Services services;
    if (!realVpnClient) {
        services.stopVpnClients = [this] { ++vpnClientStops_; };
        services.startVpnClient = [this] {
            ++vpnClientStarts_;
            return true;
        };
    }
    services.startMqttThread = [this] {
        mqtt_ = std::thread([this, installation = installation_, connection = connection_] {
            mqtt_thread_entry(*installation, *connection);
            mqttDone_ = true;
        });
    };
    installation_ = std::make_shared<Installation>();
    dlg_ = std::make_unique<Clumetra_uniDlg>(*installation_, *connection_, services);
    dlg_->OnInitDialog();
    dlg_->show();
    const QString subscribed =
        QStringLiteral("/%1/lumetraToPC").arg(QString::fromLatin1(connection_->PcId()));
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

void ViewsFixture::SearchAll()
{
    tree_->Tab(CFVLeftTree::IDC_TAB_SEARCH)->click();
    tree_->Button(CFVLeftTree::IDC_SEARCH)->click();
}

void ViewsFixture::RunEventsFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool ViewsFixture::RestartFarside()
{
    shared_->farside.Stop();
    return shared_->farside.Start(shared_->dir.FilePath("platconf"), shared_->dir.FilePath("inventory.json"),
                                  shared_->farsideOptions);
}

void ViewsFixture::Select(QTreeWidgetItem* item)
{
    tree_->Tree()->setCurrentItem(item);
    QApplication::processEvents();
}

bool ViewsFixture::Port502Free()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 502);
}

void ViewsFixture::OpenPlcRow(CFVTableDevice** table)
{
    ASSERT_NO_FATAL_FAILURE(StartAndLogIn());
    Select(Gateway(0));
    *table = dlg_->TableView();
    ASSERT_NE(*table, nullptr);
    (*table)->RowButton(0)->click();
    ASSERT_TRUE(PumpUntil([&] { return boxes_.Count() >= 1; }, 15000));
    EXPECT_EQ(boxes_.Boxes()[0].text, QStringLiteral("网络透传通道建立成功"));
}

int ViewsFixture::PublishedByPc() const
{
    return shared_->broker.CountLogLines(QStringLiteral("Received PUBLISH from ") +
                                         QString::fromLatin1(connection_->PcId()));
}

bool ViewsFixture::NothingPublishedSince(int before)
{
    const QString markerLine = QStringLiteral("'/views-test/marker'");
    const int markers = shared_->broker.CountLogLines(markerLine);
    const std::string marker = "views-test-marker";
    connection_->Publish("/views-test/marker", marker.data(), int(marker.size()), 0);
    return PumpUntil([&] { return shared_->broker.CountLogLines(markerLine) > markers; }) &&
           PublishedByPc() == before + 1;
}

void ViewsFixture::PublishAsOtherPc(const std::string& topic, const std::string& payload)
{
    connection_->Publish(topic.c_str(), payload.data(), int(payload.size()), 1);
}

std::vector<int64_t> ViewsFixture::VpnClients() const
{
    return OpenVpnStandIn::ClientsIn(home_.FilePath("lumetra"));
}

bool ViewsFixture::FarsideSaid(const QString& text, int timeoutMs)
{
    return PumpUntil([&] { return shared_->farside.Output().contains(text); }, timeoutMs);
}

std::vector<uint16_t> ViewsFixture::ReadRtuRegisters(const QString& path, int count)
{
    std::vector<uint16_t> registers(size_t(count), 0);
    std::atomic<int> read{-2};
    std::thread master([&] {
        modbus_t* context = modbus_new_rtu(path.toUtf8().constData(), 9600, 'N', 8, 1);
        int result = -1;
        if (context != nullptr) {
            modbus_set_slave(context, 1);
            modbus_set_response_timeout(context, 5, 0);
            if (modbus_connect(context) == 0)
                result = modbus_read_registers(context, 0, count, registers.data());
            modbus_close(context);
            modbus_free(context);
        }
        read = result;
    });
    PumpUntil([&] { return read.load() != -2; }, 15000);
    master.join();
    return read.load() == count ? registers : std::vector<uint16_t>();
}
