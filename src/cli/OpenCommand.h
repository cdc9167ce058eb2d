#pragma once

#include "CliSessionCommand.h"
#include "TunnelStatsPrinter.h"

#include <cstddef>
#include <string>
#include <vector>

class CNodeDevice;
class CNodeGateway;

// lumetra-cli open GWSN DEVSN [DEVSN ...]: opens the devices' tunnels one after the
// other, in the order given, through the gateway detail controller, printing every
// text the window would show; once a tunnel is usable it prints one line
// "ready: <where>" on standard output (the device path of the user's COM port, or
// "<listen address>:<port>"). The tunnels stay open until SIGINT or SIGTERM, then
// they are closed as the close request does and the exit code is 0. A refusal, a
// fault or a time-out prints its text, closes the tunnels opened so far and exits
// with 1. While a tunnel is ready, the loss of its data connection prints
// "link: lost" and its return "link: back" (followed by " <DEVSN>" when several
// devices are open); a tunnel that gives up (or whose device was taken meanwhile)
// prints its text and exits with 1. With --stats the figures of the ready tunnels
// follow the first "ready:" line once a second (TunnelStatsPrinter).
class OpenCommand : public CliSessionCommand
{
public:
    using CliSessionCommand::CliSessionCommand;

    const char* Name() const override { return "open"; }
    const char* Synopsis() const override { return "[--stats] GWSN DEVSN [DEVSN ...]"; }
    const char* Details() const override;
    const char* Summary() const override
    {
        return "open devices' tunnels and keep them open until interrupted";
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
    struct Opening
    {
        std::string devSn;
        CNodeDevice* device = nullptr;
        int row = 0;
        bool ready = false;
    };

    // The opening of `device`, or null when it is none of this command's.
    Opening* Find(const CNodeDevice* device);
    // Asks for the next device's tunnel (devices_[next_]).
    void OpenNext();
    // Closes every tunnel of this command that is still open (as the close request
    // does), then ends with `exitCode`.
    void CloseAllAndFinish(int exitCode);
    std::string ReadyPlace(const CNodeDevice* device) const;

    std::string gwSn_;
    std::vector<Opening> devices_;
    size_t next_ = 0;
    // Every tunnel is ready.
    bool ready_ = false;
    bool closing_ = false;
    TunnelStatsPrinter stats_;
};
