#include "CliSignIn.h"

#include "CliArguments.h"
#include "CliCommand.h"
#include "CliConsole.h"
#include "CliPassword.h"
#include "control/LoginFlow.h"
#include "platform/TextCodec.h"

void CliSignIn::AddCredentialOptions(CliArguments& args)
{
    args.AddOption("--user");
    args.AddOption("--password");
    args.AddFlag("--password-stdin");
}

const char* CliSignIn::CredentialDetails()
{
    return "  --user U                sign in as U (default: the user and password of the last\n"
           "                          successful 'lumetra-cli login'); U's password is asked\n"
           "                          for on the terminal, without echo\n"
           "  --password-stdin        with --user: read U's password from the first line of\n"
           "                          standard input\n"
           "  --password P            with --user: U's password on the command line, where\n"
           "                          other users can see it (a warning says so)\n";
}

bool CliSignIn::ParseCommandLine(CliArguments& args, const std::vector<std::string>& words, int positional,
                                 const char* needed)
{
    AddCredentialOptions(args);
    std::string error;
    if (!args.Parse(words, &error)) {
        CliConsole::Error(error);
        return false;
    }
    if (args.Has("--password") && args.Has("--password-stdin")) {
        CliConsole::Error("--password and --password-stdin exclude each other");
        return false;
    }
    for (const char* option : {"--password", "--password-stdin"}) {
        if (args.Has(option) && !args.Has("--user")) {
            CliConsole::Error(std::string(option) + " needs --user");
            return false;
        }
    }
    if (positional < 0) {
        return true;
    }
    const std::vector<std::string>& given = args.Positional();
    const int count = static_cast<int>(given.size());
    if (count > positional) {
        CliConsole::Error(positional == 0
                              ? "unexpected argument '" + given[static_cast<size_t>(positional)] + "'"
                              : std::string("too many arguments"));
        return false;
    }
    for (const std::string& word : given) {
        if (word.empty()) {
            CliConsole::Error(needed);
            return false;
        }
    }
    if (count < positional) {
        CliConsole::Error(needed);
        return false;
    }
    return true;
}

int CliSignIn::Authenticate(Session& session, const QString& user, const QString& password)
{
    QString failure;
    if (!LoginFlow(session).SignIn(user, password, &failure)) {
        CliConsole::Err(failure);
        return kExitFailed;
    }
    return kExitOk;
}

bool CliSignIn::AskPassword(const QString& user, bool fromStandardInput, QString* password)
{
    std::string line;
    if (fromStandardInput) {
        if (!CliPassword::FromStandardInput(&line))
            return false;
    } else if (CliPassword::CanPrompt()) {
        if (!CliPassword::Prompt(platform::TextCodec::WideToLocal(user), &line))
            return false;
    }
    *password = platform::TextCodec::LocalToWide(line);
    return true;
}

int CliSignIn::SignInForQuery(Session& session, const Installation& installation, const CliArguments& args)
{
    QString user;
    QString password;
    if (args.Has("--user")) {
        user = platform::TextCodec::LocalToWide(args.Value("--user"));
        // With no user name the sign-in is refused at once: nothing to ask for.
        if (args.Has("--password")) {
            password = platform::TextCodec::LocalToWide(args.Value("--password"));
            if (!user.isEmpty() && !password.isEmpty())
                CliPassword::WarnCommandLine();
        } else if (!user.isEmpty() && !AskPassword(user, args.Has("--password-stdin"), &password)) {
            return kExitFailed;
        }
    } else if (!LoginFlow::LastLogin(installation, &user, &password)) {
        CliConsole::Error("not signed in: run 'lumetra-cli login USER' first, or give --user");
        return kExitFailed;
    }
    return Authenticate(session, user, password);
}
