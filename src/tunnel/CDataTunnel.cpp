#include "tunnel/CDataTunnel.h"

#include "app/InputRules.h"
#include "app/Installation.h"
#include "app/JsonPtr.h"
#include "app/TraceLog.h"
#include "cloud/CNodeDevice.h"
#include "cloud/CNodeGateway.h"
#include "endpoint/ComTransferData.h"
#include "mqtt-c/MessagePublisher.h"
#include "mqtt-c/mqtt_commands.h"
#include "mqtt-c/mqtt_topics.h"
#include "tunnel/LinkKeeper.h"
#include "tunnel/TunnelObserver.h"

#include <cjson/cJSON.h>

#include <cstdlib>
#include <cstring>

CDataTunnel::CDataTunnel(const TunnelServices& services, CNodeGateway* gateway, CNodeDevice* device)
    : services_(services), gateway_(gateway), device_(device)
{
}

CDataTunnel::~CDataTunnel() = default;

void CDataTunnel::Start() {}

void CDataTunnel::Stop() {}

void CDataTunnel::RequestBind()
{
    if (gateway_ == nullptr) {
        return;
    }
    const JsonPtr request = mqtt_build_bind_request(GatewaySn().c_str(), DeviceSn().c_str(), PcId());
    SendToBinder(request.get());
}

void CDataTunnel::LeavePc()
{
    const JsonPtr request = mqtt_build_leave_pc(PcId());
    SendToBinder(request.get());
}

void CDataTunnel::RequestTarget() {}

void CDataTunnel::OnTimeout() {}

void CDataTunnel::OnGatewayStatus() {}

void CDataTunnel::OnVpnInfo(const VpnInfoRecord* /*record*/) {}

void CDataTunnel::OnMessage(cJSON* /*message*/, TunnelInbound /*kind*/) {}

void CDataTunnel::OnOpenAccepted() {}

QString CDataTunnel::GetText(int /*code*/)
{
    return QString();
}

void CDataTunnel::SendLocalData(_com_transfer_data* block)
{
    if (block == nullptr || gateway_ == nullptr) {
        return;
    }
    PublishToGateway(mqtt_build_data(DeviceSn().c_str(), PcId(), block->seq, DeviceTunType(), block->bytes,
                                     block->bytes != nullptr ? block->length : 0));
    ++block->sendCount;
}

void CDataTunnel::SendAck(uint32_t seq)
{
    PublishToGateway(mqtt_build_ack(DeviceSn().c_str(), PcId(), seq));
}

void CDataTunnel::SendEmptyCommand()
{
    PublishToGateway(mqtt_build_empty_command(DeviceSn().c_str(), PcId()));
}

void CDataTunnel::SendToBinder(const cJSON* object)
{
    if (gateway_ == nullptr || object == nullptr) {
        return;
    }
    PublishObject(kBinderTopic, object);
}

void CDataTunnel::OnBrokerBack() {}

bool CDataTunnel::LinkLost() const
{
    return false;
}

int CDataTunnel::LinkGiveUpMs() const
{
    const int seconds = std::atoi(ResourceText("link_retry_seconds").c_str());
    return seconds >= 1 && seconds <= 3600 ? seconds * 1000 : LinkKeeper::kDefaultGiveUpMs;
}

std::unique_ptr<LinkKeeper> CDataTunnel::MakeLinkKeeper(TunnelObserver* observer,
                                                        std::function<bool()> attempt)
{
    LinkKeeper::Hooks hooks;
    hooks.attempt = std::move(attempt);
    hooks.report = [this, observer](bool up) {
        if (up) {
            stats_.Reconnected();
        }
        if (observer != nullptr) {
            observer->OnTunnelLink(*this, up);
        }
    };
    hooks.giveUp = [this, observer] { EndTunnel(observer, kTextLinkGivenUp); };
    return std::make_unique<LinkKeeper>(std::move(hooks));
}

void CDataTunnel::EndTunnel(TunnelObserver* observer, const char* text)
{
    if (observer != nullptr) {
        observer->OnTunnelEnded(*this, text);
    } else {
        Stop();
    }
}

void CDataTunnel::SendReply2994()
{
    PublishToGateway(mqtt_build_reply_2994(DeviceSn().c_str(), PcId()));
}

void CDataTunnel::SendUnbind()
{
    const JsonPtr envelope = mqtt_build_unbind(DeviceSn().c_str(), PcId());
    if (envelope != nullptr && gateway_ != nullptr && services_.publisher != nullptr) {
        char topic[kTopicBufferSize];
        if (mqtt_format_down_topic(topic, gateway_->gwSn.c_str())) {
            services_.publisher->PublishJsonRelease(topic, envelope.get(), 0);
        }
    }
}

void CDataTunnel::SendReleaseToBinder(const cJSON* object)
{
    if (gateway_ != nullptr && object != nullptr && services_.publisher != nullptr) {
        services_.publisher->PublishJsonRelease(kBinderTopic, object, 0);
    }
}

void CDataTunnel::BuildPortTransferFrame(unsigned char* frame, const char* payload, size_t length)
{
    if (frame == nullptr || payload == nullptr) {
        return;
    }
    std::memcpy(frame, "zelq", 4);
    frame[4] = static_cast<unsigned char>(length & 0xFF);
    frame[5] = static_cast<unsigned char>((length >> 8) & 0xFF);
    std::memcpy(frame + kPortTransferFrameHeader, payload, length);
}

std::string CDataTunnel::PortTransferFrame(const std::string& payload)
{
    if (payload.size() > 0xFFFF) {
        return std::string();
    }
    std::string frame(kPortTransferFrameHeader + payload.size(), '\0');
    BuildPortTransferFrame(reinterpret_cast<unsigned char*>(&frame[0]), payload.data(), payload.size());
    return frame;
}

std::string CDataTunnel::GatewaySn() const
{
    return gateway_ != nullptr ? gateway_->gwSn : std::string();
}

std::string CDataTunnel::DeviceSn() const
{
    return device_ != nullptr ? device_->deviceSn.toStdString() : std::string();
}

bool CDataTunnel::MatchesGatewayAndDevice(const char* gwSn, const char* devSn) const
{
    if (gwSn == nullptr || devSn == nullptr || GetGateway() == nullptr || GetDevice() == nullptr) {
        return false;
    }
    return std::strcmp(GatewaySn().c_str(), gwSn) == 0 && std::strcmp(DeviceSn().c_str(), devSn) == 0;
}

std::string CDataTunnel::Describe() const
{
    return "tunnel " + InputRules::Excerpt(GatewaySn()) + "/" + InputRules::Excerpt(DeviceSn());
}

int CDataTunnel::DeviceTunType() const
{
    return device_ != nullptr ? device_->tunType : 0;
}

void CDataTunnel::PublishToGateway(JsonPtr envelope)
{
    if (envelope != nullptr && gateway_ != nullptr) {
        char topic[kTopicBufferSize];
        if (mqtt_format_down_topic(topic, gateway_->gwSn.c_str())) {
            PublishObject(topic, envelope.get());
        }
    }
}

void CDataTunnel::PublishToTransparent(JsonPtr envelope)
{
    if (envelope != nullptr && gateway_ != nullptr) {
        char topic[kTopicBufferSize];
        if (mqtt_format_transparent_topic(topic, gateway_->gwSn.c_str())) {
            PublishObject(topic, envelope.get());
        }
    }
}

void CDataTunnel::PublishObject(const char* topic, const cJSON* object)
{
    if (services_.publisher != nullptr) {
        services_.publisher->PublishJson(topic, object, 0);
    }
}

const char* CDataTunnel::PcId() const
{
    return services_.installation != nullptr ? services_.installation->PcId() : "";
}

const _Resource_Info* CDataTunnel::FindResource(const char* name) const
{
    return services_.installation != nullptr ? services_.installation->FindResource(name) : nullptr;
}

std::string CDataTunnel::ResourceText(const char* name, const std::string& fallback) const
{
    return services_.installation != nullptr ? services_.installation->ResourceText(name, fallback)
                                             : fallback;
}

void CDataTunnel::Trace(const unsigned char* data, uint32_t length, const char* label, int hex) const
{
    if (services_.trace != nullptr)
        services_.trace->Write(data, length, label, hex);
}
