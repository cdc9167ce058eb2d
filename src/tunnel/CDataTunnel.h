#pragma once

#include "app/JsonPtr.h"
#include "mqtt-c/mqtt_commands.h" // the command codes of the tunnel protocol (MqttCommand)
#include "tunnel/ReplyExpectations.h"
#include "tunnel/TunnelInbound.h"
#include "tunnel/TunnelServices.h"
#include "tunnel/TunnelStats.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct cJSON;
struct _com_transfer_data;
class CNodeDevice;
class CNodeGateway;
struct _Resource_Info;
struct VpnInfoRecord;
class LinkKeeper;
class TunnelObserver;

// Tunnel types of a device record ("tunType").
constexpr int kTunTypeLocalPortForward = 1;
constexpr int kTunTypeSerial = 2;

// The port-transfer frame: "zelq", the payload length as 16 bits little-endian,
// then the payload.
constexpr size_t kPortTransferFrameHeader = 6;

// One data tunnel: joins a local endpoint on the PC with one device behind one
// gateway (or, for the maintenance channel, with the gateway itself). Kinds derive
// from it and override the operations below, which are listed in their fixed order.
// Everything runs on the UI thread unless an operation says otherwise. The gateway
// and device records are not owned; messages go out on the services' publisher.
class CDataTunnel
{
public:
    // Shown when an open device tunnel's lost data connection could not be made
    // again in time.
    static constexpr const char* kTextLinkGivenUp = QT_TRANSLATE_NOOP("UiText", "连接中断，通道已关闭");

    CDataTunnel(const TunnelServices& services, CNodeGateway* gateway, CNodeDevice* device);
    virtual ~CDataTunnel();

    CDataTunnel(const CDataTunnel&) = delete;
    CDataTunnel& operator=(const CDataTunnel&) = delete;

    CNodeGateway* GetGateway() const { return gateway_; }
    CNodeDevice* GetDevice() const { return device_; }
    // Moves the tunnel to the records of a later list of the same gateway and device
    // (same serial numbers): what it reports and reads from now on is theirs. UI
    // thread only.
    void Rebind(CNodeGateway* gateway, CNodeDevice* device)
    {
        gateway_ = gateway;
        device_ = device;
    }

    // --- The virtual operations, in order. ---
    // The user opens the tunnel. Base: nothing.
    virtual void Start();
    // The user closes the tunnel. Base: nothing.
    virtual void Stop();
    // Binder request 2983 ("gw_sn", "dev_sn", "pc_id"); only with a gateway.
    virtual void RequestBind();
    // Binder request 2978 ("pc_id").
    virtual void LeavePc();
    // Base: nothing.
    virtual void RequestTarget();
    // The view's waiting dialog timed out. Base: nothing.
    virtual void OnTimeout();
    // A gateway status message arrived. Base: nothing.
    virtual void OnGatewayStatus();
    // A VPN information message arrived. Base: nothing.
    virtual void OnVpnInfo(const VpnInfoRecord* record);
    // True when the message keyed (gateway serial, device serial) belongs to this
    // tunnel. Either text may be null.
    virtual bool Match(const char* gwSn, const char* devSn) const = 0;
    // An inbound message of the tunnel protocol routed to this tunnel (UI thread;
    // the message may be null). Base: nothing.
    virtual void OnMessage(cJSON* message, TunnelInbound kind);
    // The view accepted this tunnel's open (the success reply was shown). Base:
    // nothing.
    virtual void OnOpenAccepted();
    // The text the view shows after start (1) and stop (0). Base: empty.
    virtual QString GetText(int code);
    // Envelope 2990 to "/<gw>/down" with the block's bytes in Base64; raises the
    // block's send count. May run on any thread.
    virtual void SendLocalData(_com_transfer_data* block);
    // Envelope 2987 with "seq".
    virtual void SendAck(uint32_t seq);
    // Envelope 2985 with no member of its own.
    virtual void SendEmptyCommand();

    // --- Keeping an open tunnel. ---
    // The broker connection is back after a loss: the far side may have freed the
    // device on this PC's last will. Base: nothing.
    virtual void OnBrokerBack();
    // True while the open tunnel's data connection is lost. Base: false.
    virtual bool LinkLost() const;

    // --- Messages of the base. ---
    // Prints `object` and publishes it on the binder topic (QoS 0) when the tunnel
    // has a gateway. The caller keeps and frees the object.
    void SendToBinder(const cJSON* object);
    // Envelope 2994, the answer to 2997.
    void SendReply2994();
    // Envelope 2998 (unbind), forward topic "/ipc/kavno/publish"; a release: kept
    // while the broker is away (MessagePublisher::PublishRelease).
    void SendUnbind();
    // SendToBinder for a release (the link release 3002).
    void SendReleaseToBinder(const cJSON* object);

    // Fills `frame` (kPortTransferFrameHeader + length bytes, zero-filled by the
    // caller) with a port-transfer frame around `payload`. Nothing is written when
    // either pointer is null.
    static void BuildPortTransferFrame(unsigned char* frame, const char* payload, size_t length);
    // The whole frame as bytes (empty for a payload longer than 65535 bytes).
    static std::string PortTransferFrame(const std::string& payload);

    // Identities as they travel in messages (UTF-8; empty without a record).
    std::string GatewaySn() const;
    std::string DeviceSn() const;
    int DeviceTunType() const;

    // The live figures of the current open (zero for a kind that counts nothing).
    const TunnelStats& Stats() const { return stats_; }

protected:
    // True when both serial numbers are given and equal this tunnel's gateway and
    // device (the Match rule of the device tunnels).
    bool MatchesGatewayAndDevice(const char* gwSn, const char* devSn) const;
    // Publishes an envelope (QoS 0) to "/<gateway serial>/down" and deletes it;
    // nothing without a gateway or with a null envelope.
    void PublishToGateway(JsonPtr envelope);
    // The same to "/sys/transparent/<gateway serial>/down".
    void PublishToTransparent(JsonPtr envelope);

    // The publisher of the services (null publishes nothing).
    MessagePublisher* Publisher() const { return services_.publisher; }
    const TunnelServices& Services() const { return services_; }
    // The installation's PC identifier ("" without an installation).
    const char* PcId() const;
    // The installation's custom resource `name`, or null.
    const _Resource_Info* FindResource(const char* name) const;
    // The text of the installation's custom resource `name`, or `fallback`.
    std::string ResourceText(const char* name, const std::string& fallback = std::string()) const;
    // Writes one entry to the trace log when there is one (TraceLog::Write).
    void Trace(const unsigned char* data, uint32_t length, const char* label, int hex) const;

    // The figures the kinds count on their data paths (any thread).
    TunnelStats& Counters() { return stats_; }
    // The replies this tunnel waits for in its current open (UI thread only).
    ReplyExpectations& Replies() { return replies_; }
    // "tunnel <gateway serial>/<device serial>", made safe for a diagnostic line.
    std::string Describe() const;
    // How long a lost data connection is retried before the tunnel gives up: the
    // installation's "link_retry_seconds" (1 to 3600), else LinkKeeper's default.
    int LinkGiveUpMs() const;
    // A link keeper for this tunnel: `attempt` reconnects, the loss and return go to
    // `observer`'s OnTunnelLink (a return counts as a reconnect in Stats), the give-up
    // ends the tunnel (EndTunnel).
    std::unique_ptr<LinkKeeper> MakeLinkKeeper(TunnelObserver* observer, std::function<bool()> attempt);
    // Asks `observer` to show `text` and close this open tunnel; Stop without one.
    void EndTunnel(TunnelObserver* observer, const char* text);

private:
    // Publishes the printed object (QoS 0) on `topic` when there is a publisher.
    void PublishObject(const char* topic, const cJSON* object);

    TunnelServices services_;
    ReplyExpectations replies_;
    TunnelStats stats_;
    CNodeGateway* gateway_ = nullptr;
    CNodeDevice* device_ = nullptr;
};
