#include "ui/Clumetra_uniDlg.h"

#include "ui/BrandingEntry.h"

#include "app/UiText.h"

#include "app/Installation.h"
#include "cloud/CCloudClient.h"
#include "cloud/CNodeDevice.h"
#include "cloud/CNodeGateway.h"
#include "control/LocalTunnelHost.h"
#include "control/Session.h"
#include "endpoint/VirtualComPairs.h"
#include "endpoint/VpnClientControl.h"
#include "mqtt-c/MqttConnection.h"
#include "mqtt-c/mqtt_thread.h"
#include "platform/MessageBox.h"
#include "ui/CFVGatewayDetail.h"
#include "ui/CFVHomeInfo.h"
#include "ui/CFVLeftTree.h"
#include "ui/CFVLogin.h"
#include "ui/CFVTableDevice.h"
#include "ui/CMemDCPNG.h"
#include "ui/PreflightDialog.h"
#include "ui/pngbutton/CGdiPlusBitmapResource.h"
#include "ui/pngbutton/CGdipButton.h"
#include "ui/wndshadow/CWndShadow.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

QImage EntryImage(const _Resource_Info* entry)
{
    if (entry == nullptr || entry->data.empty())
        return QImage();
    QImage image;
    image.loadFromData(entry->data.data(), int(entry->data.size()));
    return image;
}

QRect EntryRect(const _Resource_Info* entry)
{
    return QRect(QPoint(entry->left, entry->top), QPoint(entry->right - 1, entry->bottom - 1));
}

} // namespace

Clumetra_uniDlg::Clumetra_uniDlg(Installation& installation, MqttConnection& connection, Services services)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), installation_(installation),
      connection_(connection), services_(std::move(services)), comPairs_(std::make_unique<VirtualComPairs>()),
      tunnelHost_(std::make_unique<LocalTunnelHost>(installation, *comPairs_))
{
    if (!services_.stopVpnClients)
        services_.stopVpnClients = [] { StopVpnClients(); };
    if (!services_.startVpnClient)
        services_.startVpnClient = [] { return StartVpnClient(); };
    if (!services_.startMqttThread)
        services_.startMqttThread = [&installation, &connection] {
            std::thread([&installation, &connection] {
                mqtt_thread_entry(installation, connection);
            }).detach();
        };
    setObjectName(QStringLiteral("Clumetra_uniDlg"));
    setWindowTitle(QStringLiteral("Lumetra"));
    setWindowIcon(QIcon(QPixmap::fromImage(CGdiPlusBitmapResource::Get(128))));
    setAttribute(Qt::WA_OpaquePaintEvent); // the background is painted whole, never erased
}

Clumetra_uniDlg::~Clumetra_uniDlg()
{
    // The detail view goes first: its controller owns the tunnels, which report to
    // the controller and use the tunnel host and the virtual COM pairs, and point at
    // the gateway records the session keeps for the tree. Freeing it here, in the
    // body, ends the tunnels while all of those are still there (members, the host
    // and the pairs among them, go only after the body). The records go right after
    // the tree.
    tableView_ = nullptr; // a child of the detail view
    detailView_.reset();
    treeView_.reset();
    session_.reset();
}

LocalListenerHost& Clumetra_uniDlg::Listener()
{
    return tunnelHost_->Listener();
}

bool Clumetra_uniDlg::OnInitDialog()
{
    // No system menu or caption on this window: the about entry has nowhere to go.
    services_.stopVpnClients();
    installation_.LoadCustomResources();
    const WebEndpoint web = installation_.WebService();
    // A missing file, or one damaged before the web service's entries, would leave a
    // window that can do nothing: one box names the file instead.
    const QString caption = QString::fromUtf8(platform::kDefaultMessageBoxCaption);
    if (!web.hostPresent || !web.portPresent || web.host.empty()) {
        platform::ShowMessageBox(this,
                                 UiText::tr(kTextNoCustomResources).arg(installation_.CustomResourcePath()),
                                 caption, platform::kMbOk | platform::kMbIconError);
        return false;
    }
    if (installation_.LoginCacheOpenToOthers()) {
        platform::ShowMessageBox(this,
                                 UiText::tr(kTextLoginCacheOpenToOthers).arg(installation_.LoginCachePath()),
                                 caption, platform::kMbOk | platform::kMbIconError);
        return false;
    }

    logo_ = installation_.FindResource("logo.png");
    title_ = BrandingEntry::Find(installation_, "title.png");
    session_ = std::make_unique<Session>(CCloudClient(web.host.c_str(), web.port));

    SetUpButtons();
    shadow_ = std::make_unique<CWndShadow>();
    if (shadow_->Create(this)) {
        shadow_->SetSize(12);
        shadow_->SetSharpness(20);
        shadow_->SetDarkness(146);
        shadow_->SetPosition(0, 0);
        shadow_->SetColor(Qt::black);
    }
    // The window is frameless from its creation (no caption, no sizing border).

    installation_.SettlePcId();
    const char* pcId = installation_.PcId();
    connection_.SetPcId(pcId, std::strlen(pcId));
    services_.startMqttThread();

    CreateLoginView();

    setGeometry(0, 0, kWidth, kHeight);
    setFixedSize(kWidth, kHeight);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(kWidth / 2, kHeight / 2));
    return true;
}

int Clumetra_uniDlg::DoModal()
{
    if (!OnInitDialog())
        return platform::kIdCancel;
    show();
    if (!closed_) {
        QEventLoop loop;
        modalLoop_ = &loop;
        loop.exec();
        modalLoop_ = nullptr;
    }
    return platform::kIdOk;
}

void Clumetra_uniDlg::SetUpButtons()
{
    struct Placement
    {
        int id;
        int png;
        QRect place;
    };
    const Placement placements[] = {
        {IDC_SMALL_1, 132, QRect(780, 10, 20, 20)},
        {IDC_SMALL_2, 133, QRect(808, 10, 20, 20)},
        {IDC_MINIMISE, 131, QRect(845, 0, 23, 23)},
        {IDC_QUIT, 130, QRect(873, 7, 23, 23)},
    };
    for (const Placement& p : placements) {
        auto* button = new CGdipButton(this, p.id);
        button->setObjectName(QStringLiteral("button%1").arg(p.id));
        button->LoadStdImage(p.png);
        button->LoadAltImage(p.png);
        button->setGeometry(p.place);
        buttons_[p.id - IDC_QUIT] = button;
    }
    connect(Button(IDC_QUIT), &CGdipButton::clicked, this, [this] { OnQuit(); });
    connect(Button(IDC_MINIMISE), &CGdipButton::clicked, this, [this] { showMinimized(); });
}

CGdipButton* Clumetra_uniDlg::Button(int id) const
{
    return id >= IDC_QUIT && id <= IDC_SMALL_2 ? buttons_[id - IDC_QUIT] : nullptr;
}

void Clumetra_uniDlg::CreateLoginView()
{
    loginView_ = new CFVLogin(installation_, this, *session_, this);
    loginView_->setGeometry(LoginArea());
    loginView_->OnInitialUpdate();
    loginView_->show();
}

QRect Clumetra_uniDlg::LoginArea() const
{
    return QRect(QPoint(0, kBandHeight), QPoint(width() - 1, height() - 1));
}

QRect Clumetra_uniDlg::LeftArea() const
{
    return QRect(QPoint(10, 95), QPoint(width() / 3 - 1, height() - 10 - 1));
}

QRect Clumetra_uniDlg::RightArea() const
{
    return QRect(QPoint(width() / 3 + 10, 95), QPoint(width() - 10 - 1, height() - 10 - 1));
}

void Clumetra_uniDlg::OnQuit()
{
    const int answer =
        platform::ShowMessageBox(this, UiText::tr("是否退出Lumetra"),
                                 QString::fromUtf8(platform::kDefaultMessageBoxCaption), platform::kMbYesNo);
    if (answer != platform::kIdYes)
        return;
    services_.stopVpnClients();
    close();
}

platform::LResult Clumetra_uniDlg::WindowProc(platform::MsgCode /*msg*/, platform::WParam /*wParam*/,
                                              platform::LParam /*lParam*/)
{
    // The views reach the window through MainViewSwitcher and DeviceTableHost; it is a
    // window only as the owner of its message boxes.
    return 0;
}

void Clumetra_uniDlg::LoginSucceeded()
{
    if (loginView_ != nullptr)
        loginView_->hide();
    if (treeView_ == nullptr) {
        treeView_ = std::make_unique<CFVLeftTree>(installation_, this, *session_, this);
        treeView_->setGeometry(LeftArea());
        treeView_->OnInitialUpdate();
    }
    treeView_->show();
    if (homeView_ == nullptr) {
        homeView_ = new CFVHomeInfo(installation_, this);
        homeView_->setGeometry(RightArea());
        homeView_->OnInitialUpdate();
    }
    homeView_->show();
    loggedIn_ = true;
    update();
}

void Clumetra_uniDlg::GatewaySelected(CNodeGateway* gateway)
{
    if (gateway == nullptr)
        return;
    if (detailView_ == nullptr) {
        detailView_ = std::make_unique<CFVGatewayDetail>(
            TunnelServices{&connection_, &installation_, &installation_.Trace()}, *session_, this,
            tunnelHost_.get(), this);
        detailView_->OnInitialUpdate();
        detailView_->Controller().SetVpnClientCalls(services_.startVpnClient, services_.stopVpnClients);
        const QRect area = RightArea();
        detailView_->SetLayout(area.x(), area.y(), area.width(), area.height());
        // Replies, reports and tunnel traffic from the broker go to the controller.
        connection_.SetTargetWindow(&detailView_->Controller());
    }
    if (homeView_ != nullptr)
        homeView_->hide();
    detailView_->SetGateway(gateway);
    detailView_->show();
    detailView_->update();
}

void Clumetra_uniDlg::TreeTabSwitched(bool searchShown)
{
    if (detailView_ != nullptr)
        detailView_->LockSwitch(searchShown);
}

void Clumetra_uniDlg::ShowHome()
{
    if (detailView_ != nullptr)
        detailView_->hide();
    if (tableView_ != nullptr)
        tableView_->hide();
    if (homeView_ != nullptr)
        homeView_->show();
}

void Clumetra_uniDlg::ShowDeviceList(const DeviceList& devices)
{
    if (detailView_ == nullptr)
        return;
    if (tableView_ == nullptr) {
        tableView_ = new CFVTableDevice(detailView_.get());
        tableView_->setGeometry(detailView_->TableArea());
    }
    tableView_->SetDevices(&devices, &detailView_->Controller());
    tableView_->show();
}

void Clumetra_uniDlg::ResetRowButton(int row)
{
    if (tableView_ != nullptr && row != -1)
        tableView_->ResetRowButton(row);
}

void Clumetra_uniDlg::paintEvent(QPaintEvent*)
{
    const QImage& background = background_;
    CMemDCPNG dc(this);
    QPainter& p = dc.Painter();
    if (isMinimized()) {
        const QImage icon = CGdiPlusBitmapResource::Get(128);
        p.drawImage((width() - icon.width()) / 2, (height() - icon.height()) / 2, icon);
    } else {
        p.drawImage(rect(), background);
        const QImage logo = EntryImage(logo_);
        if (!logo.isNull())
            p.drawImage(EntryRect(logo_), logo);
        const QImage title = EntryImage(title_);
        if (!title.isNull())
            p.drawImage(EntryRect(title_), title);
        if (loggedIn_) {
            const CAccountInfo* account = session_->Account();
            const QString name = account != nullptr ? account->userName : QString();
            dc.Text(QRectF(500, 40, 400, 30), UiText::tr("用户名：") + name, CMemDCPNG::YaHei(12, true),
                    Qt::white);
        }
    }
    if (!screenshotPath_.isEmpty() && !screenshotTaken_) {
        screenshotTaken_ = true;
        QTimer::singleShot(0, this, [this] { SaveScreenshot(); });
    }
}

void Clumetra_uniDlg::SaveScreenshot()
{
    const QImage shot = grab().toImage();
    if (shot.save(screenshotPath_, "PNG"))
        std::fprintf(stdout, "screenshot saved: %s\n", qPrintable(screenshotPath_));
    else
        std::fprintf(stderr, "screenshot could not be saved: %s\n", qPrintable(screenshotPath_));
    std::fflush(stdout);
    close();
}

void Clumetra_uniDlg::resizeEvent(QResizeEvent*)
{
    if (loginView_ != nullptr)
        loginView_->setGeometry(LoginArea());
    if (treeView_ != nullptr)
        treeView_->setGeometry(LeftArea());
    if (homeView_ != nullptr)
        homeView_->setGeometry(RightArea());
    if (detailView_ != nullptr) {
        const QRect area = RightArea();
        detailView_->SetLayout(area.x(), area.y(), area.width(), area.height());
        if (tableView_ != nullptr)
            tableView_->setGeometry(detailView_->TableArea());
    }
}

void Clumetra_uniDlg::mousePressEvent(QMouseEvent* event)
{
    // A press anywhere that is not a control moves the window.
    if (event->button() != Qt::LeftButton)
        return;
    if (windowHandle() != nullptr && windowHandle()->startSystemMove())
        return;
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void Clumetra_uniDlg::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging_ && (event->buttons() & Qt::LeftButton))
        move(event->globalPosition().toPoint() - dragOffset_);
}

void Clumetra_uniDlg::mouseReleaseEvent(QMouseEvent*)
{
    dragging_ = false;
}

QMenu* Clumetra_uniDlg::BandMenu()
{
    if (bandMenu_ == nullptr) {
        bandMenu_ = new QMenu(this);
        bandMenu_->setObjectName(QStringLiteral("bandMenu"));
        diagnosisAction_ = bandMenu_->addAction(UiText::tr(PreflightDialog::kTitle));
        connect(diagnosisAction_, &QAction::triggered, this,
                [this] { PreflightDialog::RunAndShow(this, installation_); });
    }
    return bandMenu_;
}

QAction* Clumetra_uniDlg::DiagnosisAction()
{
    BandMenu();
    return diagnosisAction_;
}

void Clumetra_uniDlg::contextMenuEvent(QContextMenuEvent* event)
{
    if (event->pos().y() >= kBandHeight) {
        event->ignore();
        return;
    }
    BandMenu()->popup(event->globalPos());
}

void Clumetra_uniDlg::closeEvent(QCloseEvent* event)
{
    closed_ = true;
    if (modalLoop_ != nullptr)
        modalLoop_->quit();
    if (shadow_ && shadow_->Window() != nullptr)
        shadow_->Window()->hide();
    event->accept();
}
