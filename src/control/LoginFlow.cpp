#include "control/LoginFlow.h"

#include "app/Installation.h"
#include "app/LoginCache.h"
#include "cloud/CAccountInfo.h"
#include "control/Session.h"
#include "platform/TextCodec.h"

#include <memory>
#include <string>

LoginFlow::LoginFlow(Session& session) : session_(session) {}

bool LoginFlow::SignIn(const QString& user, const QString& password, QString* failure)
{
    if (user.isEmpty()) {
        *failure = QString::fromUtf8(kTextNoUser);
        return false;
    }
    if (password.isEmpty()) {
        *failure = QString::fromUtf8(kTextNoPassword);
        return false;
    }
    const std::string narrowUser = platform::TextCodec::WideToLocal(user);
    const std::string narrowPassword = platform::TextCodec::WideToLocal(password);
    CAccountInfo reply = session_.Cloud().Login(narrowUser.c_str(), narrowPassword.c_str());
    if (reply.flag == 0) {
        *failure = reply.msg;
        return false;
    }
    reply.userName = user;
    session_.SetAccount(reply);
    return true;
}

LoginFlow::Offer LoginFlow::Offered(const Installation& installation)
{
    Offer offer;
    const std::unique_ptr<CRequestLogin> cached = LoadLoginCache(installation.LoginCachePath());
    if (cached) {
        offer.user = cached->GetUserName();
        offer.remember = cached->GetRemember() != 0;
        if (offer.remember)
            offer.password = cached->GetPassword();
    }
    return offer;
}

bool LoginFlow::LastLogin(const Installation& installation, QString* user, QString* password)
{
    const std::unique_ptr<CRequestLogin> cached = LoadLoginCache(installation.LoginCachePath());
    if (!cached || cached->GetUserName().isEmpty() || cached->GetPassword().isEmpty())
        return false;
    *user = cached->GetUserName();
    *password = cached->GetPassword();
    return true;
}

bool LoginFlow::Record(const Installation& installation, const QString& user, const QString& password,
                       bool remember)
{
    CRequestLogin record;
    record.SetUserName(user);
    record.SetPassword(password);
    record.SetRemember(remember ? 1 : 0);
    record.SetPcId(platform::TextCodec::LocalToWide(installation.PcId()));
    return SaveLoginCache(installation.LoginCachePath(), record);
}
