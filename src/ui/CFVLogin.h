#pragma once

#include "control/LoginFlow.h"
#include "platform/MessageWindow.h"
#include "ui/pngbutton/CGdiPlusBitmapResource.h"

#include <QFont>
#include <QImage>
#include <QWidget>

class CGdipButton;
class CSingleCenter;
class Installation;
class MainViewSwitcher;
class QCheckBox;
class QLineEdit;
class Session;
struct _Resource_Info;

// The login view: the illustration, the title "用户登入", the user name and password
// fields on their frames, the remember box and the login button. The login itself is
// the session's LoginFlow: a refusal is shown in a message box; a successful login
// rewrites the login cache and tells the main window (MainViewSwitcher).
class CFVLogin : public QWidget, public platform::MessageWindow
{
public:
    // Control identifiers.
    static constexpr int IDC_LOGIN = 1004;
    static constexpr int IDC_USER = 1005;
    static constexpr int IDC_PASSWORD = 1006;
    static constexpr int IDC_REMEMBER = 1007;

    // The installation (branding texts, login cache, PC identifier) outlives the view.
    CFVLogin(const Installation& installation, MainViewSwitcher* mainWindow, Session& session,
             QWidget* parent);
    ~CFVLogin() override;

    // Once, after creation: the password font and the remembered login.
    void OnInitialUpdate();
    // The login button.
    void OnBnClickedLogin();

    platform::LResult WindowProc(platform::MsgCode msg, platform::WParam wParam,
                                 platform::LParam lParam) override;

    QLineEdit* UserField() const { return user_; }
    QLineEdit* PasswordField() const;
    QCheckBox* RememberBox() const { return remember_; }
    CGdipButton* LoginButton() const { return login_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    const Installation& installation_;
    MainViewSwitcher* mainWindow_;
    LoginFlow flow_;
    QLineEdit* user_;
    CSingleCenter* password_;
    QCheckBox* remember_;
    CGdipButton* login_;
    const _Resource_Info* compInfo_;
    const _Resource_Info* versionText_;
    QFont titleFont_;
    QFont footerFont_;
    QFont smallFont_;

    // Images drawn by paintEvent, loaded once per view.
    const QImage illustration_ = CGdiPlusBitmapResource::Get(135);
    const QImage userFrame_ = CGdiPlusBitmapResource::Get(136);
    const QImage passwordFrame_ = CGdiPlusBitmapResource::Get(137);
};
