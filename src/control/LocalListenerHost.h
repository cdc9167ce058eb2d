#pragma once

#include "platform/MessageWindow.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class CServerAcceptSocket;
class CServerSocket;
class Installation;
class LocalListenerOwner;

// The main window's part for the local port-forward tunnel: one listening socket
// at a time and the connections it accepted. Handles
//   WM_LISTENER_SETUP (wParam: tunnel, lParam: window to answer or 0)
//   WM_LISTENER_ACCEPT (wParam: tunnel)
//   WM_PORT_FORWARD_NOTICE, _DATA, _ACK, _MATCHED (wParam: tunnel, lParam: cJSON message)
//   WM_LISTENER_CLOSE
// The tunnel travels in wParam as the tunnel layer passes it; the resolver given to
// the constructor turns that value into the tunnel's LocalListenerOwner side (by
// default the value is that pointer itself). Answers carry the value unchanged.
// The installation names the listening address and keeps the trace log of the
// accepted connections; it outlives the host.
class LocalListenerHost : public platform::MessageWindow
{
public:
    using OwnerResolver = std::function<LocalListenerOwner*(platform::WParam)>;

    explicit LocalListenerHost(Installation& installation, OwnerResolver resolveOwner = OwnerResolver());
    ~LocalListenerHost() override;

    platform::LResult WindowProc(platform::MsgCode msg, platform::WParam wParam,
                                 platform::LParam lParam) override;

    // The listening port for a device type code: 2, 6 -> 502; 3, 12 -> 102;
    // 10, 16 -> 5562; 13, 14 -> 9600; any other -> 502.
    static uint16_t ListenPortForDeviceType(int typeCode);
    // The address the listener binds: the custom resource entry "listen_host" when
    // it is present and not empty, else 127.0.0.1.
    static QString ListenAddress(const Installation& installation);

    // The listening socket, null when none.
    CServerSocket* Listener() const { return listener_.get(); }
    // The first accepted connection, in accepting order, that serves `owner` and is
    // still open; null when none.
    CServerAcceptSocket* FindConnection(const LocalListenerOwner* owner) const;
    size_t ConnectionCount() const { return accepted_.size(); }

private:
    void SetUpListener(platform::WParam tunnel, platform::MessageWindow* answerWindow);
    bool OpenListener(platform::WParam tunnel);
    void AcceptConnection(platform::WParam tunnel);
    void SendPayload(platform::WParam tunnel, const void* message);
    void CloseListener();
    void ForgetEndedConnections();
    LocalListenerOwner* Resolve(platform::WParam tunnel) const;

    Installation& installation_;
    OwnerResolver resolveOwner_;
    std::unique_ptr<CServerSocket> listener_;
    std::vector<std::unique_ptr<CServerAcceptSocket>> accepted_;
};
