#include "LoginCommand.h"

#include "CliConsole.h"
#include "CliPassword.h"
#include "CliSignIn.h"
#include "app/LoginCache.h"
#include "app/PcId.h"
#include "app/ProgramFolder.h"
#include "cloud/CurrentAccount.h"
#include "platform/TextCodec.h"

const char* LoginCommand::Details() const
{
    return "  --remember         remember the password (as the box \"是否记住密码\" does)\n"
           "  --password-stdin   read the password from the first line of standard input\n"
           "  Without PASSWORD or --password-stdin the remembered password is used when the\n"
           "  login cache holds USER with the remember flag set; otherwise the password is\n"
           "  asked for without echo when standard input is a terminal. PASSWORD on the\n"
           "  command line is visible to other users of the machine (a warning says so).\n";
}

bool LoginCommand::Parse(const std::vector<std::string>& words)
{
    args_.AddFlag("--remember");
    args_.AddFlag("--password-stdin");
    std::string error;
    if (!args_.Parse(words, &error)) {
        CliConsole::Error(error);
        return false;
    }
    if (args_.Positional().size() > 2) {
        CliConsole::Error("too many arguments");
        return false;
    }
    if (args_.Positional().size() == 2 && args_.Has("--password-stdin")) {
        CliConsole::Error("PASSWORD and --password-stdin exclude each other");
        return false;
    }
    return true;
}

int LoginCommand::Execute()
{
    const std::vector<std::string>& positional = args_.Positional();
    // A missing user name is an empty field, as in the login view.
    const QString user = positional.empty() ? QString() : TextCodec::LocalToWide(positional[0]);
    QString password;
    bool remember = args_.Has("--remember");
    // With no user name the sign-in is refused at once: no password is asked for.
    if (positional.size() == 2) {
        password = TextCodec::LocalToWide(positional[1]);
        if (!user.isEmpty() && !password.isEmpty())
            CliPassword::WarnCommandLine();
    } else if (!user.isEmpty() && args_.Has("--password-stdin")) {
        if (!CliSignIn::AskPassword(user, true, &password))
            return kExitFailed;
    } else if (!user.isEmpty()) {
        // The login view fills the password field and ticks the box only for a
        // remembered login of the same user; an omitted PASSWORD does the same, and
        // only without one is the password asked for.
        const std::unique_ptr<CRequestLogin> cached = LoadLoginCache();
        if (cached && cached->GetUserName() == user && cached->GetRemember() != 0 &&
            !cached->GetPassword().isEmpty()) {
            password = cached->GetPassword();
            remember = true;
        } else if (!CliSignIn::AskPassword(user, false, &password)) {
            return kExitFailed;
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
