#include "LoginCommand.h"

#include "CliConsole.h"
#include "CliPassword.h"
#include "CliSignIn.h"
#include "app/Installation.h"
#include "control/LoginFlow.h"
#include "control/Session.h"
#include "platform/TextCodec.h"

#include <string>

const char* LoginCommand::Details() const
{
    static const std::string details =
        std::string("  --remember         remember the password (as the box \"") + LoginFlow::kTextRemember +
        "\" does)\n"
        "  --password-stdin   read the password from the first line of standard input\n"
        "  Without PASSWORD or --password-stdin the remembered password is used when the\n"
        "  login cache holds USER with the remember flag set; otherwise the password is\n"
        "  asked for without echo when standard input is a terminal. PASSWORD on the\n"
        "  command line is visible to other users of the machine (a warning says so).\n";
    return details.c_str();
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

int LoginCommand::Execute(Session& session)
{
    const std::vector<std::string>& positional = args_.Positional();
    // A missing user name is an empty field, as in the login view.
    const QString user = positional.empty() ? QString() : platform::TextCodec::LocalToWide(positional[0]);
    QString password;
    bool remember = args_.Has("--remember");
    // With no user name the sign-in is refused at once: no password is asked for.
    if (positional.size() == 2) {
        password = platform::TextCodec::LocalToWide(positional[1]);
        if (!user.isEmpty() && !password.isEmpty())
            CliPassword::WarnCommandLine();
    } else if (!user.isEmpty() && args_.Has("--password-stdin")) {
        if (!CliSignIn::AskPassword(user, true, &password))
            return kExitFailed;
    } else if (!user.isEmpty()) {
        // The login view fills the password field and ticks the box only for a
        // remembered login of the same user; an omitted PASSWORD does the same, and
        // only without one is the password asked for.
        const LoginFlow::Offer offer = LoginFlow::Offered(installation_);
        if (offer.user == user && offer.remember && !offer.password.isEmpty()) {
            password = offer.password;
            remember = true;
        } else if (!CliSignIn::AskPassword(user, false, &password)) {
            return kExitFailed;
        }
    }

    const int result = CliSignIn::Authenticate(session, user, password);
    if (result != kExitOk)
        return result;

    // Recorded whether or not the password is to be remembered: the flag decides
    // what a later login offers, and the PC identifier must survive either way.
    if (!LoginFlow::Record(installation_, user, password, remember))
        CliConsole::Error("warning: the login cache " + installation_.LoginCachePath().toStdString() +
                          " could not be written");

    // One "name value" line per identifier, easy to read and to pick out in scripts.
    const CAccountInfo* current = session.Account();
    auto field = [](const char* name, const QString& value) {
        CliConsole::Out(QString::fromLatin1(name).leftJustified(11) + value);
    };
    field("userName", current->userName);
    field("orgId", QString::number(current->orgId));
    field("newRoleId", QString::number(current->newRoleId));
    field("accountsId", QString::number(current->accountsId));
    field("pcId", QString::fromLatin1(installation_.PcId()));
    field("remember", remember ? QStringLiteral("yes") : QStringLiteral("no"));
    return kExitOk;
}
