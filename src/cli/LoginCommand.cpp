#include "LoginCommand.h"

#include "CliConsole.h"
#include "CliSignIn.h"
#include "app/LoginCache.h"
#include "app/PcId.h"
#include "app/ProgramFolder.h"
#include "cloud/CurrentAccount.h"
#include "platform/TextCodec.h"

const char* LoginCommand::Details() const
{
    return "  --remember   remember the password (as the box \"是否记住密码\" does)\n"
           "  Without PASSWORD the remembered password is used when the login cache holds\n"
           "  USER with the remember flag set.\n";
}

bool LoginCommand::Parse(const std::vector<std::string>& words)
{
    m_args.AddFlag("--remember");
    std::string error;
    if (!m_args.Parse(words, &error)) {
        CliConsole::Error(error);
        return false;
    }
    if (m_args.Positional().size() > 2) {
        CliConsole::Error("too many arguments");
        return false;
    }
    return true;
}

int LoginCommand::Execute()
{
    const std::vector<std::string>& positional = m_args.Positional();
    // A missing user name is an empty field, as in the login view.
    const QString user = positional.empty() ? QString() : TextCodec::LocalToWide(positional[0]);
    QString password;
    bool remember = m_args.Has("--remember");
    if (positional.size() == 2) {
        password = TextCodec::LocalToWide(positional[1]);
    } else if (!user.isEmpty()) {
        // The login view fills the password field and ticks the box only for a
        // remembered login of the same user; an omitted PASSWORD does the same.
        const std::unique_ptr<CRequestLogin> cached = LoadLoginCache();
        if (cached && cached->GetUserName() == user && cached->GetRemember() != 0 &&
            !cached->GetPassword().isEmpty()) {
            password = cached->GetPassword();
            remember = true;
        }
    }

    CAccountInfo account;
    const int result = CliSignIn::Authenticate(user, password, &account);
    if (result != kExitOk)
        return result;

    // Recorded whether or not the password is to be remembered: the flag decides
    // what a later login offers, and the PC identifier must survive either way.
    CRequestLogin record;
    record.SetUserName(user);
    record.SetPassword(password);
    record.SetRemember(remember ? 1 : 0);
    record.SetPcId(TextCodec::LocalToWide(GetPcId()));
    if (!SaveLoginCache(record))
        CliConsole::Error("warning: the login cache " + LoginCachePath().toStdString() +
                          " could not be written");
    SetCurrentAccount(account);

    // One "name value" line per identifier, easy to read and to pick out in scripts.
    const CAccountInfo* current = GetCurrentAccount();
    auto field = [](const char* name, const QString& value) {
        CliConsole::Out(QString::fromLatin1(name).leftJustified(11) + value);
    };
    field("userName", current->userName);
    field("orgId", QString::number(current->orgId));
    field("newRoleId", QString::number(current->newRoleId));
    field("accountsId", QString::number(current->accountsId));
    field("pcId", QString::fromLatin1(GetPcId()));
    field("remember", remember ? QStringLiteral("yes") : QStringLiteral("no"));
    return kExitOk;
}
