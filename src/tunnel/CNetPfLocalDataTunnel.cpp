#include "tunnel/CNetPfLocalDataTunnel.h"

#include "app/InputRules.h"
#include "app/JsonPtr.h"
#include "app/ResourceInfo.h"
#include "cloud/CNodeDevice.h"
#include "cloud/CNodeGateway.h"
#include "endpoint/CServerAcceptSocket.h"
#include "endpoint/ComTransferData.h"
#include "endpoint/RelaySocket.h"
#include "mqtt-c/mqtt_envelope.h"
#include "tunnel/CComDataTunnel.h"
#include "tunnel/LinkKeeper.h"
#include "tunnel/PortForwardListener.h"
#include "tunnel/TunnelHost.h"
#include "tunnel/TunnelJson.h"
#include "tunnel/TunnelObserver.h"

#include <cjson/cJSON.h>

#include <cstdlib>
#include <cstring>
#include <new>

CNetPfLocalDataTunnel::CNetPfLocalDataTunnel(const TunnelServices& services, TunnelObserver* observer,
                                             CNodeGateway* gateway, CNodeDevice* device)
    : CDataTunnel(services, gateway, device), observer_(observer)
{
    keeper_ = MakeLinkKeeper(observer_, [this] { return OpenRelay(1); });
}

CNetPfLocalDataTunnel::~CNetPfLocalDataTunnel() = default;

PortForwardListener* CNetPfLocalDataTunnel::Listener() const
{
    return Services().host != nullptr ? Services().host->PortListener() : nullptr;
}

std::string CNetPfLocalDataTunnel::RelayHost() const
{
    const std::string relay = ResourceText("relay_host");
    return relay.empty() ? ResourceText("port_transfer_host") : relay;
}

uint16_t CNetPfLocalDataTunnel::RelayPort() const
{
    const int port = std::atoi(ResourceText("relay_port").c_str());
    return port > 0 && port <= 0xFFFF ? static_cast<uint16_t>(port) : kDefaultRelayPort;
}

std::string CNetPfLocalDataTunnel::RegistrationText(int reconnect) const
{
    return CComDataTunnel::RegistrationText(PcId(), GatewaySn(), DeviceSn(), reconnect);
}

bool CNetPfLocalDataTunnel::OpenRelay(int reconnect)
{
    if (relay_ != nullptr) {
        relay_->Close();
    }
    // The relay's bytes are a stream to the local application: handed on in blocks
    // of all that was read ahead, not in 1 KiB chunks.
    relay_.reset(new (std::nothrow) RelaySocket(this, static_cast<int>(CSocket::kReadBufferSize)));
    if (relay_ == nullptr) {
        return false;
    }
    RelaySocket* relay = relay_.get();
    // Connect runs the event loop: Stop may have dropped the connection meanwhile.
    if (relay->Create() && relay->Connect(QString::fromStdString(RelayHost()), RelayPort()) &&
        relay_.get() == relay) {
        const std::string text = RegistrationText(reconnect);
        relay->Send(text.data(), static_cast<int>(text.size()), 0);
        // The relay's occupancy answer comes once, to this registration (none when
        // a reconnect takes up the tunnel's device connection).
        Replies().Expect(ReplyExpectations::kBindAnswer);
        return true;
    }
    return false;
}

bool CNetPfLocalDataTunnel::LinkLost() const
{
    return keeper_->Lost();
}

void CNetPfLocalDataTunnel::Start()
{
    Replies().Clear();
    // The open as a whole ends in one result, and the far end may close the open
    // tunnel once.
    Replies().Expect(ReplyExpectations::kResult);
    Replies().Expect(ReplyExpectations::kFarEndClosed);
    keeper_->Disarm();
    Counters().Reset(TunnelStats::NowNs());
    localConnection_ = nullptr;
    registered_ = false;
    // A relay that cannot be reached sends no occupancy answer: the open then ends in
    // the view's time-out.
    OpenRelay(0);
    // Listed by the view at once, so the answers of the far side reach this tunnel.
    // The local listener is set up (and the tunnel reported open) only once the far
    // side accepted the open (2993), after the relay registered the device.
    if (observer_ != nullptr) {
        observer_->OnTunnelOpened(*this);
    }
}

void CNetPfLocalDataTunnel::Stop()
{
    Replies().Clear();
    keeper_->Disarm();
    registered_ = false;
    SendUnbind();
    ReportClosed();
    if (PortForwardListener* listener = Listener()) {
        listener->Close(*this);
    }
    localConnection_ = nullptr;
    // Connections left behind read again (what they send goes nowhere now).
    if (PortForwardListener* listener = Listener()) {
        listener->HoldReading(*this, false);
    }
    std::unique_ptr<RelaySocket> relay = std::move(relay_);
    relay.reset();
}

void CNetPfLocalDataTunnel::RequestTarget()
{
    PublishToGateway(mqtt_build_target_request_local(DeviceSn().c_str(), PcId()));
}

void CNetPfLocalDataTunnel::OnTimeout()
{
    const _Resource_Info* hostEntry = FindResource("port_transfer_host");
    const _Resource_Info* portEntry = FindResource("port_transfer_port");
    if (hostEntry == nullptr || portEntry == nullptr) {
        return;
    }
    const std::string host = ResourceText("port_transfer_host");
    const int port = std::atoi(ResourceText("port_transfer_port").c_str());
    const JsonPtr request = mqtt_build_port_transfer_release(GatewaySn().c_str(), DeviceSn().c_str(), PcId());
    const std::string frame = PortTransferFrame(mqtt_json_print(request.get()));
    if (frame.size() <= kPortTransferFrameHeader || port <= 0 || port > 0xFFFF) {
        return;
    }
    RelaySocket connection;
    if (connection.Create() &&
        connection.Connect(QString::fromStdString(host), static_cast<uint16_t>(port))) {
        connection.Send(frame.data(), static_cast<int>(frame.size()), 0);
    }
    connection.Close();
}

bool CNetPfLocalDataTunnel::Match(const char* gwSn, const char* devSn) const
{
    return MatchesGatewayAndDevice(gwSn, devSn);
}

void CNetPfLocalDataTunnel::OnMessage(cJSON* message, TunnelInbound kind)
{
    switch (kind) {
    case TunnelInbound::kBindAnswer:
        HandleOccupancy(message);
        break;
    case TunnelInbound::kPortForwardMatched:
        if (PortForwardListener* listener = Listener()) {
            listener->OnMatched(*this, message);
        }
        break;
    case TunnelInbound::kAck:
        if (PortForwardListener* listener = Listener()) {
            listener->OnAck(*this, message);
        }
        break;
    case TunnelInbound::kPortForwardData:
        if (PortForwardListener* listener = Listener()) {
            listener->OnData(*this, message);
        }
        break;
    case TunnelInbound::kPortForwardNotice:
        if (PortForwardListener* listener = Listener()) {
            listener->OnNotice(*this, message);
        }
        break;
    case TunnelInbound::kResult:
        HandleResult(message);
        break;
    case TunnelInbound::kParameterRequest:
        if (Replies().Take(ReplyExpectations::kParameterRequest, Describe())) {
            SendTargetRequest();
        }
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

QString CNetPfLocalDataTunnel::GetText(int code)
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

void CNetPfLocalDataTunnel::SendLocalData(_com_transfer_data* block)
{
    if (block == nullptr || block->bytes == nullptr || block->length == 0 || relay_ == nullptr) {
        return;
    }
    relay_->Send(block->bytes, static_cast<int>(block->length), 0);
    Counters().Sent(block->length);
    // A relay held for a local connection that went before its room notice was
    // delivered (the listener forgets ended connections) is read again from here.
    CSocket* current = relay_->IsReceivePaused() ? CurrentLocalConnection() : nullptr;
    if (relay_->IsReceivePaused() && (current == nullptr || !current->IsWriteBacklogged())) {
        relay_->ResumeReceive();
    }
    if (relay_->IsWriteBacklogged()) {
        if (PortForwardListener* listener = Listener()) {
            listener->HoldReading(*this, true);
        }
    }
}

void CNetPfLocalDataTunnel::OnRelayWritable()
{
    if (PortForwardListener* listener = Listener()) {
        listener->HoldReading(*this, false);
    }
}

void CNetPfLocalDataTunnel::OnLocalWritable()
{
    if (relay_ != nullptr) {
        relay_->ResumeReceive();
    }
}

int CNetPfLocalDataTunnel::ListenerDeviceType() const
{
    return GetDevice() != nullptr ? GetDevice()->protocol : 0;
}

void CNetPfLocalDataTunnel::OnRelayData(const unsigned char* bytes, int count)
{
    if (bytes == nullptr || count <= 0) {
        return;
    }
    keeper_->BytesArrived();
    Counters().Received(static_cast<size_t>(count));
    if (CSocket* connection = CurrentLocalConnection()) {
        connection->Send(bytes, count, 0);
        if (connection->IsWriteBacklogged() && relay_ != nullptr) {
            relay_->PauseReceive();
        }
    }
}

void CNetPfLocalDataTunnel::OnRelayClosed()
{
    keeper_->ConnectionEnded();
}

CSocket* CNetPfLocalDataTunnel::CurrentLocalConnection()
{
    if (localConnection_ != nullptr) {
        return localConnection_;
    }
    return Services().host != nullptr ? Services().host->FindLocalConnection(this) : nullptr;
}

void CNetPfLocalDataTunnel::SendOpenRequest()
{
    PublishToGateway(mqtt_build_open_request(DeviceSn().c_str(), PcId()));
}

void CNetPfLocalDataTunnel::SendTargetRequest()
{
    const CNodeDevice* device = GetDevice();
    if (device == nullptr) {
        return;
    }
    PublishToGateway(mqtt_build_target_request(DeviceSn().c_str(), PcId(), device->tunType,
                                               device->ip.toStdString().c_str(), device->port));
}

void CNetPfLocalDataTunnel::HandleOccupancy(const cJSON* message)
{
    int occupied = 0;
    if (!TunnelJsonInt(message, "is_occupy", &occupied) ||
        !Replies().Take(ReplyExpectations::kBindAnswer, Describe())) {
        return;
    }
    if (keeper_->Armed()) {
        // The answer to a reconnect that found nothing to take up: opened anew, or
        // the device was taken while this tunnel's connection was lost.
        if (occupied != 0) {
            EndTunnel(observer_, kTextOccupied);
        }
        return;
    }
    if (occupied == 0) {
        registered_ = true;
        Replies().Expect(ReplyExpectations::kParameterRequest);
        SendOpenRequest();
        return;
    }
    const JsonPtr tree(cJSON_CreateObject());
    cJSON* answer = tree.get();
    if (answer == nullptr) {
        return;
    }
    cJSON_AddNumberToObject(answer, "flag", 0);
    cJSON_AddStringToObject(answer, "msg", kTextOccupied);
    cJSON_AddStringToObject(answer, "encode", "ascii");
    cJSON_AddNumberToObject(answer, "errcode", 1);
    ReportReply(answer);
}

void CNetPfLocalDataTunnel::HandleResult(cJSON* message)
{
    int flag = 0;
    if (!TunnelJsonHas(message, "msg") || !TunnelJsonInt(message, "flag", &flag)) {
        return;
    }
    if (flag != 0 && !registered_ && Replies().IsExpected(ReplyExpectations::kResult)) {
        // An acceptance cannot come before the relay registered the device: it is not
        // this open's answer (a refusal is shown whenever it comes).
        InputRules::ReportDropped("cmdId 2993 for " + Describe(),
                                  "an acceptance before the relay registered the device");
        return;
    }
    if (!Replies().Take(ReplyExpectations::kResult, Describe())) {
        return;
    }
    if (flag != 0) {
        keeper_->Arm(LinkGiveUpMs());
        if (relay_ == nullptr || relay_->HasEnded()) {
            keeper_->ConnectionEnded(); // lost before the open was accepted
        }
        RequestListener();
    } else {
        ReportReply(message);
    }
}

void CNetPfLocalDataTunnel::RequestListener()
{
    PortForwardListener* listener = Listener();
    if (listener == nullptr) {
        return;
    }
    // The listener's answer goes to the observer as a reply of this tunnel.
    const JsonPtr answer = listener->SetUp(*this);
    if (answer != nullptr) {
        ReportReply(answer.get());
    }
}

void CNetPfLocalDataTunnel::ReportReply(const cJSON* reply)
{
    if (observer_ != nullptr) {
        observer_->OnTunnelReply(*this, reply);
    }
}

void CNetPfLocalDataTunnel::ReportClosed()
{
    if (observer_ != nullptr) {
        observer_->OnTunnelClosed(*this);
    }
}
