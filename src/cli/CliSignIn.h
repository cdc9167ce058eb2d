#pragma once

#include <QString>
#include <string>
#include <vector>

class CliArguments;
class Installation;
class Session;

// Signing in from the command line: the login view's LoginFlow with the password
// taken from the command line, standard input, a prompt or the login cache.
class CliSignIn
{
public:
    // The options by which a listing command names its own credentials.
    static void AddCredentialOptions(CliArguments& args);
    static const char* CredentialDetails();
    // Adds the credential options, parses `words` and checks that --password or
    // --password-stdin (not both) comes with --user and that exactly `positional`
    // arguments are given (any number when -1); `needed` names them for the error. On
    // failure the reason is on standard error and the result is false.
    static bool ParseCommandLine(CliArguments& args, const std::vector<std::string>& words, int positional,
                                 const char* needed);

    // Signs in to `session` as the login view does (LoginFlow::SignIn); on success
    // the account is the session's current account, on failure the reason (the
    // view's text or the service's msg) is on standard error. Returns a CliExitCode.
    static int Authenticate(Session& session, const QString& user, const QString& password);

    // The password for `user` when none was given on the command line: the first
    // line of standard input when `fromStandardInput`, else the answer to a prompt
    // without echo when standard input is a terminal, else empty (which Authenticate
    // refuses with the login view's text). False after reporting a failure.
    static bool AskPassword(const QString& user, bool fromStandardInput, QString* password);

    // Every run is a new process, so a listing command signs in first: as --user U
    // when given, with the password of --password (and a warning that it is visible
    // to others), of --password-stdin, or asked for on the terminal; else with the
    // user name and password of the login cache (the last successful login). Sets the
    // session's current account. The login cache is not rewritten: only the login
    // command records a login. Returns a CliExitCode.
    static int SignInForQuery(Session& session, const Installation& installation, const CliArguments& args);
};
