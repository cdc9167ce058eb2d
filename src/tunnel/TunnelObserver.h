#pragma once

struct cJSON;
class CDataTunnel;
namespace platform {
class MessageWindow;
} // namespace platform

// Who a device tunnel reports to: the gateway detail controller of the window and of
// lumetra-cli. Every call runs on the UI thread, inside the tunnel's operation, in
// the order the tunnel makes them; the observer outlives the tunnels' use of it.
class TunnelObserver
{
public:
    virtual ~TunnelObserver() = default;

    // The tunnel started: list it, so that the far side's answers reach it.
    virtual void OnTunnelOpened(CDataTunnel& tunnel) = 0;
    // The tunnel stopped, or the far end closed it: take it off the list.
    virtual void OnTunnelClosed(CDataTunnel& tunnel) = 0;
    // A reply to the tunnel's open for the user ({"flag", "msg", ...}). The object
    // stays the tunnel's and is valid during the call only.
    virtual void OnTunnelReply(CDataTunnel& tunnel, const cJSON* reply) = 0;
    // The open tunnel's data connection was lost (`up` false) or is back (true).
    // Base: nothing.
    virtual void OnTunnelLink(CDataTunnel& /*tunnel*/, bool /*up*/) {}
    // The open tunnel cannot go on (its connection stayed lost, or its device was
    // taken while the broker was away): show `text` (UTF-8) and close the tunnel as
    // a close request does, releases included. Never called inside a notification
    // of the tunnel's own connection. Base: nothing.
    virtual void OnTunnelEnded(CDataTunnel& /*tunnel*/, const char* /*text*/) {}
    // The window that owns the message boxes the tunnel shows (may be null).
    virtual platform::MessageWindow* MessageBoxOwner() = 0;
};
