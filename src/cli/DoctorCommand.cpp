#include "DoctorCommand.h"

#include "CliConsole.h"
#include "CliPassword.h"
#include "CliSignIn.h"
#include "app/Installation.h"
#include "control/LoginFlow.h"
#include "control/PreflightCheck.h"
#include "platform/TextCodec.h"

#include <string>

const char* DoctorCommand::Details() const
{
    static const std::string details =
        std::string("  Each check prints one line: \"ok\", \"FAIL\" (needed) or \"warn\" (not needed: the\n"
                    "  TLS certificate, which the client does not verify, and OpenVPN, which only the\n"
                    "  maintenance channel uses), its time and, when it failed, why and a fix. Exit\n"
                    "  status 0 only when every needed check passed. Each check takes at most 5 s,\n"
                    "  the whole at most 30 s. The sign-in uses the last successful login unless:\n") +
        CliSignIn::CredentialDetails();
    return details.c_str();
}

bool DoctorCommand::Parse(const std::vector<std::string>& words)
{
    return CliSignIn::ParseCommandLine(args_, words, 0, "");
}

int DoctorCommand::Execute(Session& /*session*/)
{
    QString user;
    QString password;
    if (args_.Has("--user")) {
        user = platform::TextCodec::LocalToWide(args_.Value("--user"));
        if (args_.Has("--password")) {
            password = platform::TextCodec::LocalToWide(args_.Value("--password"));
            if (!user.isEmpty() && !password.isEmpty())
                CliPassword::WarnCommandLine();
        } else if (!user.isEmpty() &&
                   !CliSignIn::AskPassword(user, args_.Has("--password-stdin"), &password)) {
            return kExitFailed;
        }
    } else {
        // Without a cached login the sign-in check reports it with its fix.
        LoginFlow::LastLogin(installation_, &user, &password);
    }

    PreflightCheck check(installation_, PreflightCheck::Account{platform::TextCodec::WideToLocal(user),
                                                                platform::TextCodec::WideToLocal(password)});
    const std::vector<PreflightResult> results =
        check.Run([](const PreflightResult& result) { CliConsole::Out(PreflightCheck::Line(result)); });
    CliConsole::Out("doctor: " + PreflightCheck::Summary(results));
    return PreflightCheck::Passed(results) ? kExitOk : kExitFailed;
}
