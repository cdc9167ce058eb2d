// The main window's start-up, the login view against the real far side, the login
// cache across two starts, and the quit question.

#include "app/CRequestLogin.h"
#include "app/Installation.h"
#include "app/LoginCache.h"
#include "cloud/CCloudClient.h"
#include "control/Session.h"
#include "gui/common/GuiTestApp.h"
#include "gui/common/ScreenshotCheck.h"
#include "mqtt-c/MqttConnection.h"
#include "platform/MessageBox.h"
#include "support/FarsideProcess.h"
#include "support/FreePort.h"
#include "support/MessageBoxRecorder.h"
#include "support/PlatconfBuilder.h"
#include "support/TempDir.h"
#include "ui/CFVLogin.h"
#include "ui/Clumetra_uniDlg.h"
#include "ui/pngbutton/CGdipButton.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

class LoginWindowTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        GuiTestApp::Ensure();
        QApplication::setCursorFlashTime(0); // a steady caret: screenshots do not depend on timing
        shared_ = new Shared;
        webPort_ = FreePort::Pick();
        const QString demo = QStringLiteral(LUMETRA_SOURCE_DIR "/demo/platconf/");
        PlatconfBuilder platconf;
        platconf.WebService(webPort_)
            .Text("bh", "127.0.0.1")
            .Text("bp", "1")
            .Text("busername", "pc")
            .Text("bpassword", "secret")
            .Text("port_transfer_host", "127.0.0.1")
            .Text("port_transfer_port", "2")
            .Bytes("logo.png", TempDir::Read(demo + "logo.png"))
            .Rect("logo.png", 16, 6, 136, 42)
            .Bytes("title.png", TempDir::Read(demo + "title.png"))
            .Rect("title.png", 150, 6, 350, 42)
            .Text("compinfo", "© 2024 Lumetra Networks 版权所有")
            .Text("dtverloca", "版本 V1.0.0")
            .Rect("dtverloca", 700, 440, 900, 465);
        // A failure is reported by SetUp, so it fails every test instead of making
        // GoogleTest skip them.
        if (!platconf.WriteTo(shared_->dir.FilePath("platconf")))
            shared_->error = "platconf: " + platconf.Problem();
        else if (!shared_->farside.Start(shared_->dir.FilePath("platconf"),
                                         QStringLiteral(LUMETRA_SOURCE_DIR "/demo/inventory.json")))
            shared_->error = shared_->farside.Error().toStdString();
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
                    TempDir::Read(shared_->dir.FilePath("platconf")));
        qputenv("LUMETRA_HOME", home_.Path().toLocal8Bit());
    }

    void TearDown() override { qunsetenv("LUMETRA_HOME"); }

    // One start of the program: the window initialised and shown.
    std::unique_ptr<Clumetra_uniDlg> Start()
    {
        Clumetra_uniDlg::Services services;
        services.stopVpnClients = [this] { events_.push_back("stop vpn clients"); };
        services.startMqttThread = [this] {
            events_.push_back("start mqtt thread");
            pcIdAtMqttStart_ = connection_.PcId();
            const CCloudClient& cloud = starting_->CurrentSession()->Cloud();
            endpointAtMqttStart_ = cloud.Host() + ":" + std::to_string(cloud.Port());
        };
        installations_.push_back(std::make_unique<Installation>());
        auto dlg = std::make_unique<Clumetra_uniDlg>(*installations_.back(), connection_, services);
        starting_ = dlg.get();
        dlg->OnInitDialog();
        dlg->show();
        return dlg;
    }

    static void LogIn(Clumetra_uniDlg& dlg, const QString& user, const QString& password, bool remember)
    {
        CFVLogin* view = dlg.LoginView();
        view->UserField()->setText(user);
        view->PasswordField()->setText(password);
        view->RememberBox()->setChecked(remember);
        view->LoginButton()->click();
    }

    struct Shared
    {
        TempDir dir;
        FarsideProcess farside;
        std::string error;
    };
    static inline Shared* shared_ = nullptr;
    static inline int webPort_ = 0;

    TempDir home_;
    MessageBoxRecorder boxes_;
    MqttConnection connection_;
    std::vector<std::string> events_;
    std::string pcIdAtMqttStart_;
    std::string endpointAtMqttStart_;
    Clumetra_uniDlg* starting_ = nullptr;
    // One installation per start of the program, the last one the current run's.
    std::vector<std::unique_ptr<Installation>> installations_;
};

TEST_F(LoginWindowTest, StartUpRunsInOrderAndShowsTheLoginView)
{
    auto dlg = Start();

    ASSERT_EQ(events_, (std::vector<std::string>{"stop vpn clients", "start mqtt thread"}));
    // The PC identifier was settled, written to the cache and handed to the MQTT
    // client before its thread started; the web endpoint came from "wsh"/"wsp".
    EXPECT_EQ(pcIdAtMqttStart_.size(), 20u);
    EXPECT_EQ(pcIdAtMqttStart_, std::string(installations_.back()->PcId()));
    EXPECT_EQ(endpointAtMqttStart_, "127.0.0.1:" + std::to_string(webPort_));
    std::unique_ptr<CRequestLogin> cache = LoadLoginCache(home_.FilePath("licache"));
    ASSERT_TRUE(cache);
    EXPECT_EQ(cache->GetPcId().toStdString(), pcIdAtMqttStart_);

    EXPECT_EQ(dlg->size(), QSize(920, 600));
    EXPECT_TRUE(dlg->windowFlags() & Qt::FramelessWindowHint);
    ASSERT_NE(dlg->LoginView(), nullptr);
    EXPECT_TRUE(dlg->LoginView()->isVisible());
    EXPECT_EQ(dlg->LoginView()->geometry(), QRect(0, 85, 920, 515));
    EXPECT_EQ(dlg->LoginView()->UserField()->geometry(), QRect(640, 190, 205, 30));
    EXPECT_EQ(dlg->LoginView()->PasswordField()->geometry(), QRect(645, 235, 200, 30));
    EXPECT_EQ(dlg->LoginView()->RememberBox()->geometry(), QRect(625, 272, 220, 30));
    EXPECT_EQ(dlg->LoginView()->LoginButton()->geometry(), QRect(625, 309, 220, 30));
    EXPECT_EQ(dlg->Button(Clumetra_uniDlg::IDC_QUIT)->geometry(), QRect(873, 7, 23, 23));
    EXPECT_TRUE(dlg->LoginView()->UserField()->text().isEmpty());
    EXPECT_FALSE(dlg->LoginView()->RememberBox()->isChecked());

    ScreenshotCheck::Expect(*dlg, "login-view");
    // The next start reuses the identifier.
    dlg.reset();
    auto again = Start();
    EXPECT_EQ(std::string(installations_.back()->PcId()), pcIdAtMqttStart_);
}

TEST_F(LoginWindowTest, EmptyFieldsAndAWrongPasswordAreReportedAndKeepTheCache)
{
    auto dlg = Start();
    const QByteArray cacheBefore = TempDir::Read(home_.FilePath("licache"));

    LogIn(*dlg, QString(), QString(), false);
    LogIn(*dlg, QStringLiteral("demo"), QString(), false);
    LogIn(*dlg, QStringLiteral("demo"), QStringLiteral("wrong"), true);
    ASSERT_EQ(boxes_.Count(), 3u);
    EXPECT_EQ(boxes_.Boxes()[0].text, QStringLiteral("用户名不能为空！"));
    EXPECT_EQ(boxes_.Boxes()[0].owner, dlg->LoginView());
    EXPECT_EQ(boxes_.Boxes()[1].text, QStringLiteral("密码不能为空！"));
    // The service's own message.
    EXPECT_EQ(boxes_.Boxes()[2].text, QStringLiteral("用户名或密码错误"));
    for (const MessageBoxRecorder::Box& box : boxes_.Boxes()) {
        EXPECT_EQ(box.caption, QStringLiteral("Lumetra"));
        EXPECT_EQ(box.style, platform::kMbOk);
    }
    EXPECT_FALSE(dlg->IsLoggedIn());
    EXPECT_TRUE(dlg->LoginView()->isVisible());
    EXPECT_EQ(dlg->LoginView()->PasswordField()->text(), QStringLiteral("wrong"));
    EXPECT_EQ(TempDir::Read(home_.FilePath("licache")), cacheBefore);
}

TEST_F(LoginWindowTest, LoginSwitchesViewsAndTheNextStartOffersWhatWasRemembered)
{
    auto dlg = Start();
    LogIn(*dlg, QStringLiteral("demo"), QStringLiteral("demo123"), false);

    EXPECT_EQ(boxes_.Count(), 0u);
    ASSERT_TRUE(dlg->IsLoggedIn());
    EXPECT_FALSE(dlg->LoginView()->isVisible());
    ASSERT_NE(dlg->TreeView(), nullptr);
    ASSERT_NE(dlg->HomeView(), nullptr);
    EXPECT_EQ(dlg->TreeView()->geometry(), QRect(10, 95, 296, 495));
    EXPECT_EQ(dlg->HomeView()->geometry(), QRect(316, 95, 594, 495));
    const CAccountInfo* account = dlg->CurrentSession()->Account();
    ASSERT_NE(account, nullptr);
    EXPECT_EQ(account->userName, QStringLiteral("demo"));
    EXPECT_EQ(account->accountsId, 1001);

    std::unique_ptr<CRequestLogin> cache = LoadLoginCache(home_.FilePath("licache"));
    ASSERT_TRUE(cache);
    EXPECT_EQ(cache->GetUserName(), QStringLiteral("demo"));
    EXPECT_EQ(cache->GetPassword(), QStringLiteral("demo123"));
    EXPECT_EQ(cache->GetRemember(), 0);
    EXPECT_EQ(cache->GetPcId().toStdString(), std::string(installations_.back()->PcId()));
    ScreenshotCheck::Expect(*dlg, "logged-in-window");

    dlg.reset();
    auto next = Start();
    EXPECT_EQ(next->LoginView()->UserField()->text(), QStringLiteral("demo"));
    EXPECT_TRUE(next->LoginView()->PasswordField()->text().isEmpty());
    EXPECT_FALSE(next->LoginView()->RememberBox()->isChecked());

    // Remembered: both fields are filled next time.
    LogIn(*next, QStringLiteral("demo"), QStringLiteral("demo123"), true);
    ASSERT_TRUE(next->IsLoggedIn());
    next.reset();
    auto third = Start();
    EXPECT_EQ(third->LoginView()->UserField()->text(), QStringLiteral("demo"));
    EXPECT_EQ(third->LoginView()->PasswordField()->text(), QStringLiteral("demo123"));
    EXPECT_TRUE(third->LoginView()->RememberBox()->isChecked());
}

TEST_F(LoginWindowTest, QuitAsksAndClosesOnlyOnYes)
{
    auto dlg = Start();
    events_.clear();

    boxes_.Answer(platform::kIdNo);
    dlg->Button(Clumetra_uniDlg::IDC_QUIT)->click();
    ASSERT_EQ(boxes_.Count(), 1u);
    EXPECT_EQ(boxes_.Boxes()[0].text, QStringLiteral("是否退出Lumetra"));
    EXPECT_EQ(boxes_.Boxes()[0].caption, QStringLiteral("Lumetra"));
    EXPECT_EQ(boxes_.Boxes()[0].style, platform::kMbYesNo);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_TRUE(events_.empty());

    boxes_.Answer(platform::kIdYes);
    dlg->Button(Clumetra_uniDlg::IDC_QUIT)->click();
    EXPECT_EQ(boxes_.Count(), 2u);
    EXPECT_EQ(events_, std::vector<std::string>{"stop vpn clients"});
    EXPECT_FALSE(dlg->isVisible());
}

// An installation the window cannot run on gives one error box naming the file and
// no window: a custom resource file that is missing or damaged before the web
// service's entries, then a login cache that other users may read or write (left as
// it is until its owner closes it). Nothing else of the start-up runs.
TEST_F(LoginWindowTest, UnusableInstallationGivesOneBoxNamingTheFileAndNoWindow)
{
    const QString platconf = home_.FilePath("custom_resource/platconf");
    const QByteArray good = TempDir::Read(platconf);
    auto refused = [this](const char* text, const QString& file) {
        events_.clear();
        const size_t before = boxes_.Count();
        installations_.push_back(std::make_unique<Installation>());
        Clumetra_uniDlg::Services services;
        services.stopVpnClients = [this] { events_.push_back("stop vpn clients"); };
        services.startMqttThread = [this] { events_.push_back("start mqtt thread"); };
        Clumetra_uniDlg dlg(*installations_.back(), connection_, services);
        EXPECT_EQ(dlg.DoModal(), platform::kIdCancel);
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_EQ(dlg.LoginView(), nullptr);
        EXPECT_EQ(events_, std::vector<std::string>{"stop vpn clients"});
        ASSERT_EQ(boxes_.Count(), before + 1);
        const MessageBoxRecorder::Box box = boxes_.Boxes().back();
        EXPECT_EQ(box.text, QString::fromUtf8(text).arg(file));
        EXPECT_TRUE(box.text.contains(file));
        EXPECT_EQ(box.caption, QStringLiteral("Lumetra"));
        EXPECT_EQ(box.style, platform::kMbOk | platform::kMbIconError);
    };
    ASSERT_TRUE(QFile::remove(platconf));
    refused(Clumetra_uniDlg::kTextNoCustomResources, platconf);
    EXPECT_FALSE(QFile::exists(home_.FilePath("licache"))); // no identifier was settled
    // Cut inside its first entry, then whole but without "wsp".
    ASSERT_FALSE(home_.Write(QStringLiteral("custom_resource/platconf"), good.left(20)).isEmpty());
    refused(Clumetra_uniDlg::kTextNoCustomResources, platconf);
    ASSERT_TRUE(PlatconfBuilder().Text("wsh", "127.0.0.1").WriteTo(platconf));
    refused(Clumetra_uniDlg::kTextNoCustomResources, platconf);

    ASSERT_FALSE(home_.Write(QStringLiteral("custom_resource/platconf"), good).isEmpty());
    Start().reset(); // writes the cache, 0600
    const QString cache = home_.FilePath("licache");
    const QByteArray cached = TempDir::Read(cache);
    ASSERT_FALSE(cached.isEmpty());
    ASSERT_TRUE(QFile::setPermissions(cache, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
    refused(Clumetra_uniDlg::kTextLoginCacheOpenToOthers, cache);
    EXPECT_EQ(TempDir::Read(cache), cached);
    EXPECT_TRUE(QFile::permissions(cache) & QFile::ReadOther);
    ASSERT_TRUE(QFile::setPermissions(cache, QFile::ReadOwner | QFile::WriteOwner));
    const size_t boxes = boxes_.Count();
    auto dlg = Start();
    EXPECT_NE(dlg->LoginView(), nullptr);
    EXPECT_EQ(boxes_.Count(), boxes);
}

} // namespace
