#pragma once

#include "app/LoopbackAddressBook.h"
#include "platform/MessageWindow.h"
#include "tunnel/PortForwardListener.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CServerAcceptSocket;
class CServerSocket;
class Installation;
class LocalListenerOwner;

// The program's local listener of the port-forward tunnels (PortForwardListener):
// one listening socket per tunnel, on the port of its device type, and the
// connections each accepted. A tunnel listens on the default address (ListenAddress)
// when no other tunnel listens there on its port, else on its device's own loopback
// address (LoopbackAddressBook, remembered in the installation's TunnelAddressPath).
// It is a window only as the owner of its message boxes and handles no window
// message. The installation names the listening address and keeps the trace log of
// the accepted connections; it outlives the host.
class LocalListenerHost : public platform::MessageWindow, public PortForwardListener
{
public:
    static constexpr const char* kTextPortBindFailed = QT_TRANSLATE_NOOP("UiText", "端口绑定失败");

    explicit LocalListenerHost(Installation& installation);
    ~LocalListenerHost() override;

    platform::LResult WindowProc(platform::MsgCode msg, platform::WParam wParam,
                                 platform::LParam lParam) override;

    // PortForwardListener. A match marks the owner's first open connection; an
    // acknowledgement has no effect; data ("pt_payload" in Base64, with "pt_sn") is
    // sent on the owner's first open connection; a notice has no effect.
    JsonPtr SetUp(LocalListenerOwner& owner) override;
    void Close(LocalListenerOwner& owner) override;
    std::string Where(const LocalListenerOwner& owner) const override;
    void HoldReading(LocalListenerOwner& owner, bool hold) override;
    void OnMatched(LocalListenerOwner& owner, const cJSON* message) override;
    void OnAck(LocalListenerOwner& owner, const cJSON* message) override;
    void OnData(LocalListenerOwner& owner, const cJSON* message) override;
    void OnNotice(LocalListenerOwner& owner, const cJSON* message) override;

    // The listening port for a device type code: 2, 6 -> 502; 3, 12 -> 102;
    // 10, 16 -> 5562; 13, 14 -> 9600; any other -> 502.
    static uint16_t ListenPortForDeviceType(int typeCode);
    // The address the listener binds: the custom resource entry "listen_host" when
    // it is present and not empty, else 127.0.0.1.
    static QString ListenAddress(const Installation& installation);

    // `owner`'s listening socket, null when none.
    CServerSocket* ListenerOf(const LocalListenerOwner* owner) const;
    size_t ListenerCount() const { return listeners_.size(); }
    // The first accepted connection, in accepting order, that serves `owner` and is
    // still open; null when none.
    CServerAcceptSocket* FindConnection(const LocalListenerOwner* owner) const;
    size_t ConnectionCount() const { return accepted_.size(); }

private:
    struct Listening
    {
        LocalListenerOwner* owner = nullptr;
        std::unique_ptr<CServerSocket> socket;
        QString address;
        uint16_t port = 0;
    };

    bool OpenListener(LocalListenerOwner& owner);
    // The address `owner` listens on for `port` (empty when every one is in use).
    QString AddressFor(const LocalListenerOwner& owner, uint16_t port) const;
    void AcceptConnection(LocalListenerOwner* owner);
    void ForgetEndedConnections();

    Installation& installation_;
    LoopbackAddressBook addresses_;
    std::vector<Listening> listeners_;
    std::vector<std::unique_ptr<CServerAcceptSocket>> accepted_;
};
