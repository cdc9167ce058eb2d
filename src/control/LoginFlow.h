#pragma once

#include <QString>

class Installation;
class Session;

// Signing in, for the login view and the command line alike: the checks of the
// fields, the service's Login, the session's current account, and the login cache
// (what the view offers at start, what a login records). Every text a failed login
// shows comes from here.
class LoginFlow
{
public:
    static constexpr const char* kTextNoUser = QT_TRANSLATE_NOOP("UiText", "用户名不能为空！");
    static constexpr const char* kTextNoPassword = QT_TRANSLATE_NOOP("UiText", "密码不能为空！");
    // The label of the remember box.
    static constexpr const char* kTextRemember = QT_TRANSLATE_NOOP("UiText", "是否记住密码");

    explicit LoginFlow(Session& session);

    // Checks the fields (an empty user name before an empty password) and asks the
    // service. On success the reply, with `user` as the user name, becomes the
    // session's current account. Otherwise `failure` gets the text to show (one of
    // the above or the service's msg) and the session is left as it was.
    bool SignIn(const QString& user, const QString& password, QString* failure);

    // The login cache and the PC identifier are the installation's.
    // What the login view offers at start, from the login cache: the user name, and
    // with `remember` set the remembered password. All empty without a cache.
    struct Offer
    {
        QString user;
        QString password;
        bool remember = false;
    };
    static Offer Offered(const Installation& installation);
    // The user name and password of the last successful login whether or not it was
    // remembered; false when the login cache holds no complete login.
    static bool LastLogin(const Installation& installation, QString* user, QString* password);
    // Records a successful login as the whole login cache: user name, password,
    // remember flag and this installation's PC identifier (kept either way). False
    // when the cache could not be written.
    static bool Record(const Installation& installation, const QString& user, const QString& password,
                       bool remember);

private:
    Session& session_;
};
