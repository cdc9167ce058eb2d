#pragma once

#include <QImage>

#include "ui/pngbutton/CGdiPlusBitmapResource.h"

#include "control/DeviceTableHost.h"
#include "endpoint/VpnStart.h"
#include "platform/MessageWindow.h"
#include "ui/CFVHomeInfo.h"
#include "ui/CFVLeftTree.h"
#include "ui/MainViewSwitcher.h"

#include <QPoint>
#include <QRect>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class CFVGatewayDetail;
class CFVLogin;
class CFVTableDevice;
class CGdipButton;
class LocalListenerHost;
class LocalTunnelHost;
class MqttConnection;
class VirtualComPairs;
class CWndShadow;
class Installation;
class QAction;
class QEventLoop;
class QMenu;
class Session;
struct _Resource_Info;

// The main window: borderless, 920 x 600, a painted title band with the
// installation's logo and title (and the user name once logged in), four image
// buttons in the top right corner, a drop shadow, and the views below the band.
// Its initialisation brings the program up in a fixed order (OnInitDialog).
class Clumetra_uniDlg : public QWidget,
                        public platform::MessageWindow,
                        public DeviceTableHost,
                        public MainViewSwitcher
{
public:
    // Control identifiers of the window's own buttons.
    static constexpr int IDC_QUIT = 1000;
    static constexpr int IDC_MINIMISE = 1001;
    static constexpr int IDC_SMALL_1 = 1002;
    static constexpr int IDC_SMALL_2 = 1003;

    static constexpr int kWidth = 920;
    static constexpr int kHeight = 600;
    static constexpr int kBandHeight = 85;

    // The boxes of an installation the window cannot start on (%1: the file).
    static constexpr const char* kTextNoCustomResources = QT_TRANSLATE_NOOP(
        "UiText", "自定义资源文件缺失或已损坏，读不到 Web 服务地址：\n%1\n请重新安装 Lumetra。");
    static constexpr const char* kTextLoginCacheOpenToOthers = QT_TRANSLATE_NOOP(
        "UiText", "登录缓存文件 %1 可被其他用户读取或修改，为保护密码不予使用。\n请执行：chmod 600 %1");

    // The process-wide steps of the start-up, of quitting and of the maintenance
    // channel (the detail view's controller starts and ends the VPN client with
    // them). The program uses the defaults; tests put in their own so that they
    // neither start nor end other processes nor leave a client thread behind.
    struct Services
    {
        std::function<void()> stopVpnClients;     // default: StopVpnClients
        std::function<VpnStart()> startVpnClient; // default: StartVpnClient
        std::function<void()> startMqttThread;    // default: a detached thread running mqtt_thread_entry
    };

    // `installation` is the program's installation and `connection` its broker
    // connection: the window hands the connection the PC identifier, starts its
    // thread (which then runs for the life of the process, so both must outlive the
    // window) and hands it to the detail view.
    Clumetra_uniDlg(Installation& installation, MqttConnection& connection, Services services = Services());
    ~Clumetra_uniDlg() override;

    // The start-up: ends leftover VPN clients, loads the installation's custom
    // resource table, makes the session with the web client of "wsh"/"wsp", sets up
    // the window, settles the PC identifier, hands it to the MQTT client, starts the
    // MQTT thread and creates the login view. An installation the window cannot run
    // on (a custom resource file that names no web service: missing or damaged; a
    // login cache open to other users) gets one error box naming the file and
    // nothing else: false.
    bool OnInitDialog();
    // OnInitDialog, then shows the window and returns when it has closed: kIdOk, or
    // kIdCancel when the start-up failed (the window was never shown).
    int DoModal();

    // The quit button: asks "是否退出Lumetra"; on Yes ends the VPN clients and closes.
    void OnQuit();

    platform::LResult WindowProc(platform::MsgCode msg, platform::WParam wParam,
                                 platform::LParam lParam) override;

    // DeviceTableHost: the device table, a child of the detail view made on first
    // use, shows the list; a row's button is set off (-1: none).
    void ShowDeviceList(const DeviceList& devices) override;
    void ResetRowButton(int row) override;

    // MainViewSwitcher: the views on the right follow the login, the tree's
    // selection, its tabs (the channel switch is locked while the search form is
    // shown) and its home button.
    void LoginSucceeded() override;
    void GatewaySelected(CNodeGateway* gateway) override;
    void TreeTabSwitched(bool searchShown) override;
    void ShowHome() override;

    // After the first paint, saves an image of the window to `path` and closes it.
    void SetScreenshotPath(const QString& path) { screenshotPath_ = path; }

    // The three view areas for the present client size.
    QRect LoginArea() const;
    QRect LeftArea() const;
    QRect RightArea() const;

    bool IsLoggedIn() const { return loggedIn_; }
    // The session OnInitDialog made (null before), which the views share.
    Session* CurrentSession() const { return session_.get(); }
    CFVLogin* LoginView() const { return loginView_; }
    CFVLeftTree* TreeView() const { return treeView_.get(); }
    CFVHomeInfo* HomeView() const { return homeView_; }
    CFVGatewayDetail* DetailView() const { return detailView_.get(); }
    CFVTableDevice* TableView() const { return tableView_; }
    LocalListenerHost& Listener();
    CGdipButton* Button(int id) const;
    CWndShadow* Shadow() const { return shadow_.get(); }
    // The title band's menu (made on first use) and its "连接诊断" item.
    QMenu* BandMenu();
    QAction* DiagnosisAction();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // The window has no menu bar: a right click on the title band opens its menu,
    // whose one item "连接诊断" shows the pre-flight check's report (PreflightDialog).
    void contextMenuEvent(QContextMenuEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void SetUpButtons();
    void CreateLoginView();
    void SaveScreenshot();

    Installation& installation_;
    MqttConnection& connection_;
    Services services_;
    const _Resource_Info* logo_ = nullptr;
    const _Resource_Info* title_ = nullptr;
    CGdipButton* buttons_[4] = {};
    std::unique_ptr<CWndShadow> shadow_;
    QMenu* bandMenu_ = nullptr;
    QAction* diagnosisAction_ = nullptr;
    std::unique_ptr<Session> session_;

    CFVLogin* loginView_ = nullptr;
    // Logged-in views, each made on first use and kept (shown and hidden) for the
    // life of the window. The device table is a child of the detail view. The tree and
    // the detail view hold on to the session's gateway records, so the destructor frees
    // them before the session; the other views go with the window (Qt parent).
    std::unique_ptr<CFVLeftTree> treeView_;
    CFVHomeInfo* homeView_ = nullptr;
    std::unique_ptr<CFVGatewayDetail> detailView_;
    CFVTableDevice* tableView_ = nullptr;
    // The virtual COM pairs of the serial tunnels, and the host handed to every tunnel
    // (with the local listener of the port-forward tunnels). Both outlive the views
    // and the tunnels (the detail view's controller owns them), which the destructor
    // frees first.
    std::unique_ptr<VirtualComPairs> comPairs_;
    std::unique_ptr<LocalTunnelHost> tunnelHost_;
    bool loggedIn_ = false;

    bool dragging_ = false;
    QPoint dragOffset_;
    QString screenshotPath_;
    bool screenshotTaken_ = false;
    bool closed_ = false;
    QEventLoop* modalLoop_ = nullptr;

    // Images drawn by paintEvent, loaded once per view.
    const QImage background_ = CGdiPlusBitmapResource::Get(129);
};
