#include "GatewaysCommand.h"

#include "CliArguments.h"
#include "CliConsole.h"
#include "CliSignIn.h"
#include "TablePrinter.h"
#include "platform/TextCodec.h"

#include <string>

const char* GatewaysCommand::Details() const
{
    static const std::string details =
        std::string("  --sn S, --name N, --node N   filters, passed to the service as given\n"
                    "  --online | --offline         only online or only offline gateways\n") +
        CliSignIn::CredentialDetails();
    return details.c_str();
}

bool GatewaysCommand::Parse(const std::vector<std::string>& words)
{
    args_.AddOption("--sn");
    args_.AddOption("--name");
    args_.AddOption("--node");
    args_.AddFlag("--online");
    args_.AddFlag("--offline");
    if (!CliSignIn::ParseCommandLine(args_, words, 0, "")) {
        return false;
    }
    if (args_.Has("--online") && args_.Has("--offline")) {
        CliConsole::Error("--online and --offline exclude each other");
        return false;
    }
    online_ = args_.Has("--online")    ? GatewayQuery::kOnlineOnly
              : args_.Has("--offline") ? GatewayQuery::kOfflineOnly
                                       : GatewayQuery::kAll;
    return true;
}

int GatewaysCommand::Execute(Session& session)
{
    const int signedIn = CliSignIn::SignInForQuery(session, installation_, args_);
    if (signedIn != kExitOk)
        return signedIn;

    GatewayQuery query(session);
    if (!query.Search(args_.Value("--sn"), args_.Value("--name"), args_.Value("--node"), online_)) {
        CliConsole::Err(query.Failure());
        return kExitFailed;
    }

    TablePrinter table;
    table.AddColumn(QStringLiteral("SERIAL"));
    table.AddColumn(QStringLiteral("NAME"));
    table.AddColumn(QStringLiteral("NODE"));
    table.AddColumn(QStringLiteral("STATE"));
    for (const CNodeGateway& gateway : query.Gateways()) {
        table.AddRow({platform::TextCodec::LocalToWide(gateway.gwSn),
                      platform::TextCodec::LocalToWide(gateway.gwName),
                      platform::TextCodec::LocalToWide(gateway.nodeName),
                      gateway.IsOnline() ? QStringLiteral("online") : QStringLiteral("offline")});
    }
    table.Print();
    const size_t count = query.Gateways().size();
    CliConsole::Out(std::to_string(count) + (count == 1 ? " gateway" : " gateways"));
    return kExitOk;
}
