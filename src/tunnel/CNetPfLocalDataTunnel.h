#pragma once

#include "endpoint/LocalListenerOwner.h"
#include "endpoint/RelayDataOwner.h"
#include "tunnel/CDataTunnel.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <string>

class LinkKeeper;
class RelaySocket;
class CSocket;
class PortForwardListener;
class TunnelObserver;

// The local port-forward tunnel (tunnel type 1): an application on the PC connects
// to a local listening port (set up by the main window's listener host) and its
// bytes are carried over a TCP connection to the relay server. The tunnel takes part
// in the MQTT conversation with the gateway through OnMessage.
//
// It reports to two parties: its observer (the gateway detail controller) and the
// local listener of the tunnel host (TunnelHost::PortListener), which it hands
// itself as the listener side.
class CNetPfLocalDataTunnel : public CDataTunnel, public LocalListenerOwner, public RelayDataOwner
{
public:
    static constexpr const char* kTextOpened = QT_TRANSLATE_NOOP("UiText", "网络透传通道建立成功");
    static constexpr const char* kTextClosed = QT_TRANSLATE_NOOP("UiText", "网络透传通道关闭成功");
    static constexpr const char* kTextOccupied = QT_TRANSLATE_NOOP("UiText", "通道占用中");
    // Relay port when the installation names none.
    static constexpr uint16_t kDefaultRelayPort = 15000;

    // The services' host gives the local listener; without one the listener is never
    // reached. The tunnel reports to `observer` (none when null).
    CNetPfLocalDataTunnel(const TunnelServices& services, TunnelObserver* observer, CNodeGateway* gateway,
                          CNodeDevice* device);
    ~CNetPfLocalDataTunnel() override;

    void Start() override;
    void Stop() override;
    // Envelope 2981.
    void RequestTarget() override;
    // Sends the release request 3002 as one port-transfer frame.
    void OnTimeout() override;
    bool Match(const char* gwSn, const char* devSn) const override;
    void OnMessage(cJSON* message, TunnelInbound kind) override;
    QString GetText(int code) override;
    // Sends the block's bytes on the relay connection. Once that connection is
    // backlogged, the local connections are held (PortForwardListener::HoldReading)
    // until it has room again (OnRelayWritable).
    void SendLocalData(_com_transfer_data* block) override;
    // The local connection has room again: the relay connection is read again.
    void OnLocalWritable() override;
    bool LinkLost() const override;

    // LocalListenerOwner: the device type code (the record's protocol field).
    int ListenerDeviceType() const override;
    std::string ListenerDeviceSn() const override { return DeviceSn(); }
    // RelayDataOwner: bytes from the relay go to the local connection, or are
    // dropped while there is none. Once that connection is backlogged, the relay
    // connection is not read until a local connection has room (OnLocalWritable).
    void OnRelayData(const unsigned char* bytes, int count) override;
    // The relay connection has room again: the local connections are read again.
    void OnRelayWritable() override;
    // The relay connection ended: the link keeper connects again. A registration
    // that finds the device taken ends the tunnel ("is_occupy" true).
    void OnRelayClosed() override;

    // Envelope 2996 / 2992.
    void SendOpenRequest();
    void SendTargetRequest();

    // The local connection that receives the relay's bytes (not owned). When none
    // is set, the first open connection the listener host accepted for this tunnel
    // is used.
    void SetLocalConnection(CSocket* connection) { localConnection_ = connection; }
    CSocket* GetLocalConnection() const { return localConnection_; }
    RelaySocket* GetRelayConnection() const { return relay_.get(); }
    TunnelObserver* GetObserver() const { return observer_; }

    // The relay server: "relay_host" else "port_transfer_host"; "relay_port" else
    // 15000.
    std::string RelayHost() const;
    uint16_t RelayPort() const;
    // The registration text that opens the relay connection ("reconnect" 1 when it
    // takes up a lost one).
    std::string RegistrationText(int reconnect = 0) const;

private:
    void HandleOccupancy(const cJSON* message);
    void HandleResult(cJSON* message);
    PortForwardListener* Listener() const;
    void RequestListener();
    void ReportReply(const cJSON* reply);
    void ReportClosed();
    CSocket* CurrentLocalConnection();
    // A new relay connection with its registration; true once the registration went
    // out (the occupancy answer is then awaited).
    bool OpenRelay(int reconnect);

    TunnelObserver* observer_ = nullptr;
    std::unique_ptr<RelaySocket> relay_;
    CSocket* localConnection_ = nullptr;
    // Re-connects a lost relay connection while the open tunnel runs.
    std::unique_ptr<LinkKeeper> keeper_;
    // The relay answered this open's registration with the device free ("is_occupy"
    // false): an acceptance (2993) now opens the tunnel.
    bool registered_ = false;
};
