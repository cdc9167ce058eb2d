#pragma once

#include "CliSessionCommand.h"
#include "TunnelStatsPrinter.h"

#include <string>

class CNodeDevice;
class CNodeGateway;

// lumetra-cli open GWSN DEVSN: opens the device's tunnel through the gateway detail
// controller, printing every text the window would show, and once the tunnel is
// usable prints one line "ready: <where>" on standard output (the device path of the
// user's COM port, or "<listen address>:<port>"). The tunnel stays open until SIGINT
// or SIGTERM, then it is closed as the close request does and the exit code is 0. A
// refusal, a fault or a time-out prints its text and exits with 1. While the tunnel
// is ready, the loss of its data connection prints "link: lost" and its return
// "link: back"; a tunnel that gives up (or whose device was taken meanwhile) prints
// its text and exits with 1. With --stats the tunnel's figures follow the "ready:"
// line once a second (TunnelStatsPrinter).
class OpenCommand : public CliSessionCommand
{
public:
    using CliSessionCommand::CliSessionCommand;

    const char* Name() const override { return "open"; }
    const char* Synopsis() const override { return "[--stats] GWSN DEVSN"; }
    const char* Details() const override;
    const char* Summary() const override
    {
        return "open a device's tunnel and keep it open until interrupted";
    }
    bool Parse(const std::vector<std::string>& args) override;
    int Execute(Session& session) override;

    void DetailChanged() override;
    void DeviceOpened(CNodeDevice* device) override;
    void DeviceOpenFailed(CNodeDevice* device) override;
    void RequestTimedOut(CNodeDevice* device) override;
    // "link: lost" / "link: back" on standard output once the tunnel was ready.
    void DeviceLinkChanged(CNodeDevice* device, bool up) override;

private:
    std::string ReadyPlace() const;

    std::string gwSn_;
    std::string devSn_;
    CNodeDevice* device_ = nullptr;
    bool ready_ = false;
    bool closing_ = false;
    TunnelStatsPrinter stats_;
};
