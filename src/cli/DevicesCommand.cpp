#include "DevicesCommand.h"

#include "CliArguments.h"
#include "CliConsole.h"
#include "CliSignIn.h"
#include "TablePrinter.h"
#include "control/GatewayQuery.h"
#include "platform/TextCodec.h"

#include <memory>
#include <string>

namespace {

QString TunnelTypeText(int tunType)
{
    switch (tunType) {
    case 1:
        return QStringLiteral("port-forward");
    case 2:
        return QStringLiteral("serial");
    default:
        return QStringLiteral("-");
    }
}

} // namespace

const char* DevicesCommand::Details() const
{
    return CliSignIn::CredentialDetails();
}

bool DevicesCommand::Parse(const std::vector<std::string>& words)
{
    if (!CliSignIn::ParseCommandLine(args_, words, 1, "a gateway serial number GWSN is needed")) {
        return false;
    }
    gwSn_ = args_.Positional().front();
    return true;
}

int DevicesCommand::Execute(Session& session)
{
    const std::string& gwSn = gwSn_;
    const int signedIn = CliSignIn::SignInForQuery(session, installation_, args_);
    if (signedIn != kExitOk)
        return signedIn;

    const CDeviceListReply reply = GatewayQuery(session).Devices(gwSn);
    const std::vector<std::unique_ptr<CNodeDevice>>& devices = reply.devices;
    if (reply.flag == 0) {
        CliConsole::Err(reply.msg);
        return kExitFailed;
    }

    TablePrinter table;
    table.AddColumn(QStringLiteral("ROW"), TablePrinter::Align::Right);
    table.AddColumn(QStringLiteral("SERIAL"));
    table.AddColumn(QStringLiteral("NAME"));
    table.AddColumn(QStringLiteral("INTERFACE"));
    table.AddColumn(QStringLiteral("TUNNEL"));
    table.AddColumn(QStringLiteral("ADDRESS"));
    table.AddColumn(QStringLiteral("STATE"));
    int row = 0;
    for (const std::unique_ptr<CNodeDevice>& device : devices) {
        table.AddRow({QString::number(++row), device->deviceSn, device->deviceName, device->ifaceTypeName,
                      TunnelTypeText(device->tunType), device->AddressText(),
                      device->online != 0 ? QStringLiteral("online") : QStringLiteral("offline")});
    }
    table.Print();
    CliConsole::Out(std::to_string(devices.size()) + (devices.size() == 1 ? " device" : " devices"));
    return kExitOk;
}
