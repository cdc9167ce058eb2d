#pragma once

#include "CliSessionCommand.h"

#include <string>

class CNodeGateway;

// lumetra-cli vpn GWSN: switches the gateway's maintenance channel on through the
// gateway detail controller, printing every text the window would show, then prints
// "link: up" or "link: down" on standard output for each report of the VPN client's
// management interface. SIGINT or SIGTERM switches the channel off (exit code 0). A
// refusal, a time-out or the far side ending the channel exits with 1. On every way
// out the OpenVPN client this run started is ended (StopVpnClients).
class VpnCommand : public CliSessionCommand
{
public:
    using CliSessionCommand::CliSessionCommand;

    const char* Name() const override { return "vpn"; }
    const char* Synopsis() const override { return "GWSN"; }
    const char* Summary() const override
    {
        return "switch a gateway's maintenance channel on until interrupted";
    }
    bool Parse(const std::vector<std::string>& args) override;
    int Execute(Session& session) override;

    void ChannelRefused() override;
    void ChannelClosed() override;
    void LinkReported(bool up) override;
    void RequestTimedOut(CNodeDevice* device) override;

private:
    std::string gwSn_;
    bool stopping_ = false;
};
