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
    m_args.AddOption("--sn");
    m_args.AddOption("--name");
    m_args.AddOption("--node");
    m_args.AddFlag("--online");
    m_args.AddFlag("--offline");
    if (!CliSignIn::ParseCommandLine(m_args, words, 0, "")) {
        return false;
    }
    if (m_args.Has("--online") && m_args.Has("--offline")) {
        CliConsole::Error("--online and --offline exclude each other");
        return false;
    }
    // The query's own codes: 1 online only, 2 offline only, 0 all.
    m_onlineType = m_args.Has("--online") ? 1 : m_args.Has("--offline") ? 2 : 0;
    return true;
}

int GatewaysCommand::Execute()
{
    const int signedIn = CliSignIn::SignInForQuery(m_args);
    if (signedIn != kExitOk)
        return signedIn;

    CCloudClient client;
    const CGatewayListReply reply =
        client.QueryGateway(*GetCurrentAccount(), m_args.Value("--sn").c_str(),
                            m_args.Value("--name").c_str(), m_args.Value("--node").c_str(), m_onlineType);
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
