#pragma once

#include "endpoint/ComPairLock.h"
#include "endpoint/RelayDataOwner.h"
#include "endpoint/SerialOwner.h"
#include "tunnel/CDataTunnel.h"
#include "tunnel/SerialRelayLink.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <string>

class ComTransparent;
class LinkKeeper;
class RelaySocket;
class TunnelObserver;
struct _virtual_com_half;

// The serial tunnel (tunnel type 2): a virtual null-modem pair gives the user's
// application one COM port (the "CNCB" end) while the tunnel opens the other end
// ("CNCA"). Control runs over MQTT; the bytes run over a TCP connection to the
// port-transfer server, and device bytes may also arrive as cmdId 2980.
//
// Threads: everything runs on the UI thread except OnSerialData, SerialReadWanted and
// OnSerialWritable, which run on the serial reader thread of the endpoint and reach
// the relay connection only through SerialRelayLink.
//
// A lost port-transfer connection is taken up again by the link keeper. When the far
// side refuses such a registration (its 2993 with "flag" 0: it no longer holds the
// device for this PC, after a restart or after our last will freed it), the device is
// bound again (2983) and the keeper tries at once; a device taken by another PC
// meanwhile ends the tunnel with "通道占用中！".
class CComDataTunnel : public CDataTunnel, public SerialOwner, public RelayDataOwner
{
public:
    // The texts of GetText.
    static constexpr const char* kTextOpened = QT_TRANSLATE_NOOP("UiText", "串口透传通道建立成功");
    static constexpr const char* kTextClosed = QT_TRANSLATE_NOOP("UiText", "串口透传通道关闭成功");
    // Texts sent to the view or shown.
    static constexpr const char* kTextOccupied = QT_TRANSLATE_NOOP("UiText", "通道占用中！");
    static constexpr const char* kTextRegistrationFailed = QT_TRANSLATE_NOOP("UiText", "设备注册失败！");
    static constexpr const char* kTextRelayUnreachable = QT_TRANSLATE_NOOP("UiText", "服务器端口访问不了");
    // The tunnel's end of the virtual COM pair could not be opened.
    static constexpr const char* kTextComOpenFailed = QT_TRANSLATE_NOOP("UiText", "串口打开失败，通道已关闭");

    // The services' host gives the virtual COM pairs; without one Start finds no pair.
    // The tunnel reports to `observer` (none when null).
    CComDataTunnel(const TunnelServices& services, TunnelObserver* observer, CNodeGateway* gateway,
                   CNodeDevice* device);
    ~CComDataTunnel() override;

    void Start() override;
    void Stop() override;
    void OnTimeout() override;
    // Both texts must equal the gateway's and the device's serial numbers.
    bool Match(const char* gwSn, const char* devSn) const override;
    void OnMessage(cJSON* message, TunnelInbound kind) override;
    // Opens the COM port (OpenComPort).
    void OnOpenAccepted() override;
    QString GetText(int code) override;
    // Envelope 2990 to "/sys/transparent/<gw>/down" with "pt_len" and "sock_new";
    // leaves the send count as it is. No flow of this tunnel calls it.
    void SendLocalData(_com_transfer_data* block) override;
    // Binds the device again (2983); occupied meanwhile ends the tunnel.
    void OnBrokerBack() override;
    bool LinkLost() const override;

    // Bytes read from the COM port (serial reader thread): sent unchanged on the
    // relay connection, dropped while there is none.
    void OnSerialData(const char* data, int count) override;
    // Serial reader thread: false while the relay connection holds more than
    // CSocket::kWriteHighWater unwritten bytes, until they fell to kWriteLowWater.
    bool SerialReadWanted() override;
    // Bytes from the port-transfer relay: written to the COM port (WriteToCom). While
    // CSerialIO::kHoldWrites writes wait for the port, the relay is not read.
    void OnRelayData(const unsigned char* bytes, int count) override;
    // Serial reader thread: the port's writes drained, the relay is read again.
    void OnSerialWritable() override;
    // The relay connection took its backlog (or was lost): the COM port's reader,
    // held back by SerialReadWanted, asks again at once.
    void OnRelayWritable() override;
    // Serial reader thread: the COM port did not open; the tunnel ends on the UI
    // thread with kTextComOpenFailed (unless it stopped or started anew meanwhile).
    void OnSerialOpenFailed(const CSerialIO& endpoint) override;
    // The port-transfer connection ended: the link keeper connects again.
    void OnRelayClosed() override;
    // Writes bytes to the COM port through the user half's endpoint.
    void WriteToCom(const unsigned char* bytes, int count);

    _virtual_com_half* GetUserHalf() const { return userHalf_; }
    _virtual_com_half* GetProgramHalf() const { return programHalf_; }
    // The serial endpoints of the two halves while the tunnel runs on them (null
    // before the start and after the stop).
    ComTransparent* GetUserEndpoint() const { return userEndpoint_.get(); }
    ComTransparent* GetProgramEndpoint() const { return programEndpoint_.get(); }
    RelaySocket* GetRelayConnection() const { return relay_.Socket(); }
    TunnelObserver* GetObserver() const { return observer_; }

    // Opens the program half's COM port through the user half's endpoint with the
    // device's line settings.
    void OpenComPort();
    // Connects to the port-transfer server and registers there ("reconnect" 1 or 0);
    // reports the server unreachable when it cannot.
    void ConnectRelay(int reconnect);
    // Binder request 3000 with the device's line settings.
    void SendLinkParameters();
    // Binder request 3002.
    void SendLinkRelease();
    // Envelope 2996.
    void SendOpenRequest();

    // The port name OpenComPort uses for COM number `com`: "COM<k>" below 10, else
    // "\\.\COM<k>" (the platform layer resolves both).
    static QString ComPortName(int com);
    // The registration text sent to the port-transfer server, unframed.
    static std::string RegistrationText(const std::string& pcId, const std::string& gwSn,
                                        const std::string& devSn, int reconnect);

private:
    // Reports {"flag":0,"msg":text,"encode":"ascii"} to the observer.
    void ReportFailure(const char* text);
    void HandleBindAnswer(const cJSON* message);
    // 2993: the open's result, or the refusal of a reconnect registration.
    void HandleResult(const cJSON* message);
    // Binds the device again; its answer lets the keeper try at once (is_bind 0) or
    // ends the tunnel (1).
    void Rebind();
    void HandleRegistration(cJSON* message);
    void HandleInboundData(const cJSON* message);
    void ReportClosed();
    void ReportReply(const cJSON* reply);
    // Connects and registers ("reconnect" 1 or 0).
    SerialRelayLink::Outcome OpenRelay(int reconnect);

    TunnelObserver* observer_ = nullptr;
    _virtual_com_half* userHalf_ = nullptr;
    _virtual_com_half* programHalf_ = nullptr;
    // The lease of the pair this tunnel runs on (none while stopped).
    std::unique_ptr<ComPairLock> pairLock_;
    // The endpoints the tunnel made for the halves; the user half's opens the program
    // half's port (OpenComPort). Owned here, so none outlives the tunnel its reader
    // thread reports to.
    std::unique_ptr<ComTransparent> userEndpoint_;
    std::unique_ptr<ComTransparent> programEndpoint_;
    SerialRelayLink relay_;
    // Expires with the tunnel: work posted to the UI thread checks it first.
    std::shared_ptr<char> alive_ = std::make_shared<char>();
    // Re-connects a lost port-transfer connection while the open tunnel runs.
    std::unique_ptr<LinkKeeper> keeper_;
    // A bind request sent to take the device again waits for its answer.
    bool rebinding_ = false;
};
