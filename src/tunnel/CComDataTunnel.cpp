#include "tunnel/CComDataTunnel.h"

#include "app/JsonPtr.h"
#include "cloud/CNodeDevice.h"
#include "cloud/CNodeGateway.h"
#include "endpoint/ComTransferData.h"
#include "endpoint/ComTransparent.h"
#include "endpoint/RelaySocket.h"
#include "endpoint/VirtualComPairs.h"
#include "mqtt-c/MessagePublisher.h"
#include "mqtt-c/mqtt_base64.h"
#include "mqtt-c/mqtt_envelope.h"
#include "mqtt-c/mqtt_topics.h"
#include "platform/MessageBox.h"
#include "platform/UiThread.h"
#include "tunnel/LinkKeeper.h"
#include "tunnel/TunnelHost.h"
#include "tunnel/TunnelJson.h"
#include "tunnel/TunnelObserver.h"

#include <cjson/cJSON.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// Closes the endpoint, if any, and frees it.
void CloseEndpoint(std::unique_ptr<ComTransparent>& endpoint)
{
    if (endpoint == nullptr) {
        return;
    }
    endpoint->Close();
    endpoint.reset();
}

} // namespace

CComDataTunnel::CComDataTunnel(const TunnelServices& services, TunnelObserver* observer,
                               CNodeGateway* gateway, CNodeDevice* device)
    : CDataTunnel(services, gateway, device), observer_(observer), relay_(this)
{
    keeper_ =
        MakeLinkKeeper(observer_, [this] { return OpenRelay(1) == SerialRelayLink::Outcome::kRegistered; });
}

CComDataTunnel::~CComDataTunnel()
{
    // Endpoints first: their reader threads may still be handing bytes to us.
    CloseEndpoint(userEndpoint_);
    CloseEndpoint(programEndpoint_);
    relay_.Drop();
}

void CComDataTunnel::Start()
{
    Replies().Clear();
    keeper_->Disarm();
    rebinding_ = false;
    Counters().Reset(TunnelStats::NowNs());
    if (Services().host == nullptr) {
        return;
    }
    VirtualComPairs& pairs = Services().host->ComPairs();
    // A pair of its own, held until the tunnel stops, never shared with another tunnel.
    pairLock_.reset();
    VirtualComLease lease = pairs.LeaseFreePair();
    if (lease.lock == nullptr) {
        return;
    }
    _virtual_com_half* userHalf = lease.user;
    _virtual_com_half* programHalf = lease.program;
    pairLock_ = std::move(lease.lock);
    for (std::unique_ptr<ComTransparent>* endpoint : {&userEndpoint_, &programEndpoint_}) {
        // An endpoint left over from an earlier start of this tunnel is replaced.
        CloseEndpoint(*endpoint);
        endpoint->reset(new (std::nothrow) ComTransparent(this));
    }
    userHalf_ = userHalf;
    programHalf_ = programHalf;
    if (CNodeDevice* device = GetDevice()) {
        device->virtualComPair = pairs.PairOf(userHalf);
        device->localComNumber = programHalf->com;
    }
    if (observer_ != nullptr) {
        observer_->OnTunnelOpened(*this);
    }
    // The bind request is answered once; the open as a whole ends in one result, and
    // the far end may close the open tunnel once.
    Replies().Expect(ReplyExpectations::kBindAnswer);
    Replies().Expect(ReplyExpectations::kResult);
    Replies().Expect(ReplyExpectations::kFarEndClosed);
    RequestBind();
}

void CComDataTunnel::Stop()
{
    Replies().Clear();
    keeper_->Disarm();
    rebinding_ = false;
    SendUnbind();
    SendLinkRelease();
    CloseEndpoint(userEndpoint_);
    userHalf_ = nullptr;
    CloseEndpoint(programEndpoint_);
    programHalf_ = nullptr;
    pairLock_.reset();
    if (CNodeDevice* device = GetDevice()) {
        device->virtualComPair = nullptr;
        device->localComNumber = -1;
    }
    ReportClosed();
    relay_.Drop();
}

void CComDataTunnel::OnTimeout() {}

bool CComDataTunnel::Match(const char* gwSn, const char* devSn) const
{
    return MatchesGatewayAndDevice(gwSn, devSn);
}

void CComDataTunnel::OnMessage(cJSON* message, TunnelInbound kind)
{
    switch (kind) {
    case TunnelInbound::kBindAnswer:
        HandleBindAnswer(message);
        break;
    case TunnelInbound::kParameterRequest:
        if (Replies().Take(ReplyExpectations::kParameterRequest, Describe())) {
            Replies().Expect(ReplyExpectations::kRegistrationResult);
            SendLinkParameters();
        }
        break;
    case TunnelInbound::kResult:
        HandleResult(message);
        break;
    case TunnelInbound::kRegistrationResult:
        HandleRegistration(message);
        break;
    case TunnelInbound::kSerialData:
        HandleInboundData(message);
        break;
    case TunnelInbound::kReplyRequest:
        SendReply2994();
        break;
    case TunnelInbound::kFarEndClosed:
        if (Replies().Take(ReplyExpectations::kFarEndClosed, Describe())) {
            SendUnbind();
            ReportClosed();
        }
        break;
    default:
        break;
    }
}

void CComDataTunnel::OnOpenAccepted()
{
    OpenComPort();
    keeper_->Arm(LinkGiveUpMs());
    if (relay_.HasEnded()) {
        keeper_->ConnectionEnded(); // lost before the open was accepted
    }
}

void CComDataTunnel::OnBrokerBack()
{
    if (keeper_->Armed()) {
        Rebind();
    }
}

void CComDataTunnel::Rebind()
{
    rebinding_ = true;
    Replies().Expect(ReplyExpectations::kBindAnswer);
    RequestBind();
}

bool CComDataTunnel::LinkLost() const
{
    return keeper_->Lost();
}

QString CComDataTunnel::GetText(int code)
{
    switch (code) {
    case 1:
        return QString::fromUtf8(kTextOpened);
    case 0:
        return QString::fromUtf8(kTextClosed);
    default:
        return QString();
    }
}

void CComDataTunnel::SendLocalData(_com_transfer_data* block)
{
    if (block == nullptr || GetGateway() == nullptr) {
        return;
    }
    const JsonPtr envelope =
        mqtt_build_serial_data(DeviceSn().c_str(), PcId(), block->seq, DeviceTunType(), block->bytes,
                               block->bytes != nullptr ? block->length : 0, block->newConnection);
    const std::string text = mqtt_json_print(envelope.get());
    if (text.empty()) {
        return;
    }
    char topic[kTopicBufferSize];
    if (!mqtt_format_transparent_topic(topic, GatewaySn().c_str())) {
        return;
    }
    if (Publisher() != nullptr) {
        Publisher()->Publish(topic, text.data(), static_cast<int>(text.size()), 0);
    }
    Trace(reinterpret_cast<const unsigned char*>(text.data()), static_cast<uint32_t>(text.size()),
          "MQTT Send Encode:", 0);
}

void CComDataTunnel::OnSerialData(const char* data, int count)
{
    if (relay_.SendFromSerial(data, count)) {
        Counters().Sent(static_cast<size_t>(count));
    }
}

bool CComDataTunnel::SerialReadWanted()
{
    return relay_.SerialReadWanted();
}

void CComDataTunnel::OnRelayData(const unsigned char* bytes, int count)
{
    keeper_->BytesArrived();
    Counters().Received(static_cast<size_t>(count));
    WriteToCom(bytes, count);
    CSerialIO* serial = userHalf_ != nullptr ? userEndpoint_.get() : nullptr;
    RelaySocket* relay = relay_.Socket();
    if (serial == nullptr || relay == nullptr || serial->WritesWaiting() < CSerialIO::kHoldWrites) {
        return;
    }
    // Held first, then the drain asked for: a drain between the two resumes at once.
    relay->PauseReceive();
    if (!serial->NotifyWhenDrained()) {
        relay->ResumeReceive();
    }
}

void CComDataTunnel::OnSerialWritable()
{
    relay_.ResumeReceive();
}

void CComDataTunnel::OnRelayWritable()
{
    if (userEndpoint_ != nullptr) {
        userEndpoint_->ResumeReading();
    }
}

void CComDataTunnel::OnSerialOpenFailed(const CSerialIO& endpoint)
{
    const CSerialIO* failed = &endpoint;
    platform::UiThread::Post([this, alive = std::weak_ptr<char>(alive_), failed] {
        if (!alive.expired() && userEndpoint_ != nullptr && userEndpoint_.get() == failed) {
            EndTunnel(observer_, kTextComOpenFailed);
        }
    });
}

void CComDataTunnel::OnRelayClosed()
{
    relay_.Ended();
    keeper_->ConnectionEnded();
}

void CComDataTunnel::WriteToCom(const unsigned char* bytes, int count)
{
    if (bytes == nullptr || count <= 0 || userHalf_ == nullptr || userEndpoint_ == nullptr) {
        return;
    }
    // The endpoint takes at most kSendLimit bytes a write. Once a write is refused
    // (the port's queue is full), the rest of these bytes is dropped with it: a
    // message larger than the port can take leaves one gap, and one overflow.
    for (int offset = 0; offset < count; offset += CSerialIO::kSendLimit) {
        const int chunk = std::min(CSerialIO::kSendLimit, count - offset);
        if (!userEndpoint_->Write(reinterpret_cast<const char*>(bytes) + offset, chunk))
            break;
    }
}

QString CComDataTunnel::ComPortName(int com)
{
    return com < 10 ? QStringLiteral("COM%1").arg(com) : QStringLiteral("\\\\.\\COM%1").arg(com);
}

void CComDataTunnel::OpenComPort()
{
    CNodeDevice* device = GetDevice();
    if (userHalf_ == nullptr || userEndpoint_ == nullptr || programHalf_ == nullptr || device == nullptr) {
        return;
    }
    userEndpoint_->Open(ComPortName(programHalf_->com), QString::number(device->baud), device->databit,
                        device->ParityLetter(), device->stopbit);
}

std::string CComDataTunnel::RegistrationText(const std::string& pcId, const std::string& gwSn,
                                             const std::string& devSn, int reconnect)
{
    const JsonPtr tree(cJSON_CreateObject());
    cJSON* object = tree.get();
    if (object == nullptr) {
        return std::string();
    }
    cJSON_AddNumberToObject(object, "st", 1);
    mqtt_json_add_text(object, "pc_id", pcId.c_str());
    mqtt_json_add_text(object, "gw_sn", gwSn.c_str());
    mqtt_json_add_text(object, "dev_sn", devSn.c_str());
    cJSON_AddNumberToObject(object, "reconnect", reconnect != 0 ? 1 : 0);
    return mqtt_json_print(object);
}

void CComDataTunnel::ConnectRelay(int reconnect)
{
    if (OpenRelay(reconnect) == SerialRelayLink::Outcome::kFailed) {
        ReportFailure(kTextRelayUnreachable);
    }
}

SerialRelayLink::Outcome CComDataTunnel::OpenRelay(int reconnect)
{
    return relay_.Connect(ResourceText("port_transfer_host"),
                          std::atoi(ResourceText("port_transfer_port").c_str()),
                          RegistrationText(PcId(), GatewaySn(), DeviceSn(), reconnect));
}

void CComDataTunnel::SendLinkParameters()
{
    CNodeDevice* device = GetDevice();
    if (device == nullptr) {
        return;
    }
    const JsonPtr request = mqtt_build_link_parameters(
        PcId(), GatewaySn().c_str(), DeviceSn().c_str(), device->com.toStdString().c_str(), device->baud,
        device->ParityLetter(), device->databit, device->stopbit);
    SendToBinder(request.get());
}

void CComDataTunnel::SendLinkRelease()
{
    const JsonPtr request = mqtt_build_link_release(PcId(), GatewaySn().c_str(), DeviceSn().c_str());
    SendReleaseToBinder(request.get());
}

void CComDataTunnel::SendOpenRequest()
{
    PublishToGateway(mqtt_build_open_request(DeviceSn().c_str(), PcId()));
}

void CComDataTunnel::ReportFailure(const char* text)
{
    const JsonPtr tree(cJSON_CreateObject());
    cJSON* answer = tree.get();
    if (answer == nullptr) {
        return;
    }
    cJSON_AddNumberToObject(answer, "flag", 0);
    cJSON_AddStringToObject(answer, "msg", text);
    cJSON_AddStringToObject(answer, "encode", "ascii");
    ReportReply(answer);
}

void CComDataTunnel::HandleBindAnswer(const cJSON* message)
{
    int isBind = 0;
    if (!TunnelJsonInt(message, "is_bind", &isBind) ||
        !Replies().Take(ReplyExpectations::kBindAnswer, Describe())) {
        return;
    }
    if (rebinding_) {
        // Bound again after the broker came back: the connection may be taken again
        // now; another PC holding the device ends the tunnel.
        rebinding_ = false;
        if (isBind == 1) {
            EndTunnel(observer_, kTextOccupied);
        } else {
            keeper_->TryNow();
        }
    } else if (isBind == 1) {
        ReportFailure(kTextOccupied);
    } else {
        Replies().Expect(ReplyExpectations::kParameterRequest);
        SendOpenRequest();
    }
}

void CComDataTunnel::HandleResult(const cJSON* message)
{
    int flag = 1;
    if (!TunnelJsonHas(message, "flag") || !TunnelJsonHas(message, "msg")) {
        return;
    }
    if (keeper_->Lost() && TunnelJsonInt(message, "flag", &flag) && flag == 0) {
        // A reconnect registration was refused: the far side no longer holds the
        // device for this PC. Each refusal asks again, as an earlier request or its
        // answer may have been lost with the broker.
        Rebind();
    } else if (Replies().Take(ReplyExpectations::kResult, Describe())) {
        ReportReply(message);
    }
}

void CComDataTunnel::HandleRegistration(cJSON* message)
{
    int st = 0;
    int flag = 0;
    if (!TunnelJsonInt(message, "st", &st) || !TunnelJsonInt(message, "flag", &flag) ||
        !Replies().Take(ReplyExpectations::kRegistrationResult, Describe())) {
        return;
    }
    if (st != 2) {
        ReportReply(message);
    } else if (flag != 1) {
        platform::ShowMessageBox(observer_ != nullptr ? observer_->MessageBoxOwner() : nullptr,
                                 QString::fromUtf8(kTextRegistrationFailed), QStringLiteral("Lumetra"),
                                 platform::kMbOk);
    } else {
        ConnectRelay(0);
    }
}

void CComDataTunnel::HandleInboundData(const cJSON* message)
{
    int payloadLength = 0;
    const cJSON* payload = cJSON_GetObjectItem(message, "pt_payload");
    if (!TunnelJsonHas(message, "pt_sn") || payload == nullptr || !cJSON_IsString(payload) ||
        payload->valuestring == nullptr || !TunnelJsonInt(message, "payload_len", &payloadLength) ||
        payloadLength <= 0) {
        return;
    }
    const std::vector<uint8_t> bytes =
        mqtt_base64_decode(payload->valuestring, static_cast<size_t>(payloadLength));
    if (!bytes.empty()) {
        Counters().Received(bytes.size());
        WriteToCom(bytes.data(), static_cast<int>(bytes.size()));
    }
}

void CComDataTunnel::ReportClosed()
{
    if (observer_ != nullptr) {
        observer_->OnTunnelClosed(*this);
    }
}

void CComDataTunnel::ReportReply(const cJSON* reply)
{
    if (observer_ != nullptr) {
        observer_->OnTunnelReply(*this, reply);
    }
}
