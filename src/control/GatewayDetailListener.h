#pragma once

class CNodeDevice;

// What the gateway detail controller tells the one who shows it (the view, the
// command-line client). Every call runs on the UI thread, inside the controller's
// handler, after the state it reports has been set.
class GatewayDetailListener
{
public:
    virtual ~GatewayDetailListener() = default;

    // Something drawn changed (switch, link, card texts, device rows): repaint.
    virtual void DetailChanged() {}

    // A device's open was accepted: the success reply was shown and the tunnel told,
    // or the serial channel reported ready.
    virtual void DeviceOpened(CNodeDevice* /*device*/) {}
    // A device's open request ended without a tunnel: refused reply, offline gateway,
    // another tunnel of the same type running.
    virtual void DeviceOpenFailed(CNodeDevice* /*device*/) {}
    // A device's tunnel was stopped on a close request.
    virtual void DeviceClosed(CNodeDevice* /*device*/) {}

    // An open device tunnel's data connection was lost (`up` false) or is back.
    virtual void DeviceLinkChanged(CNodeDevice* /*device*/, bool /*up*/) {}

    // The maintenance channel was granted ("busiCode" 0) and its client started.
    virtual void ChannelOpened() {}
    // A channel request ended without a channel: offline gateway, the question
    // answered No, a reply with "busiCode" other than 0, the VPN service refused to
    // start the client (the granted channel is released).
    virtual void ChannelRefused() {}
    // The channel was switched off by the user or ended by the far side.
    virtual void ChannelClosed() {}
    // One report of the VPN client's management interface.
    virtual void LinkReported(bool /*up*/) {}

    // A waiting dialog timed out; `device` is the one it waited for, or null.
    virtual void RequestTimedOut(CNodeDevice* /*device*/) {}
};
