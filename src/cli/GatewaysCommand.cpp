#include "GatewaysCommand.h"

#include "CliArguments.h"
#include "CliConsole.h"
#include "CliSignIn.h"
#include "TablePrinter.h"
#include "cloud/CCloudClient.h"
#include "cloud/CurrentAccount.h"
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
    // The query's own codes: 1 online only, 2 offline only, 0 all.
    onlineType_ = args_.Has("--online") ? 1 : args_.Has("--offline") ? 2 : 0;
    return true;
}

int GatewaysCommand::Execute()
{
    const int signedIn = CliSignIn::SignInForQuery(args_);
    if (signedIn != kExitOk)
        return signedIn;

    CCloudClient client;
    const CGatewayListReply reply =
        client.QueryGateway(*GetCurrentAccount(), args_.Value("--sn").c_str(), args_.Value("--name").c_str(),
                            args_.Value("--node").c_str(), onlineType_);
    if (reply.flag == 0) {
        CliConsole::Err(reply.msg);
        return kExitFailed;
    }

    TablePrinter table;
    table.AddColumn(QStringLiteral("SERIAL"));
    table.AddColumn(QStringLiteral("NAME"));
    table.AddColumn(QStringLiteral("NODE"));
    table.AddColumn(QStringLiteral("STATE"));
    for (const CNodeGateway& gateway : reply.gateways) {
        table.AddRow({TextCodec::LocalToWide(gateway.gwSn), TextCodec::LocalToWide(gateway.gwName),
                      TextCodec::LocalToWide(gateway.nodeName),
                      gateway.IsOnline() ? QStringLiteral("online") : QStringLiteral("offline")});
    }
    table.Print();
    const size_t count = reply.gateways.size();
    CliConsole::Out(std::to_string(count) + (count == 1 ? " gateway" : " gateways"));
    return kExitOk;
}
