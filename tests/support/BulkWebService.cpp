#include "BulkWebService.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

constexpr size_t kFloodChunk = 64 * 1024;

// The flood: the start of a gateway list, then elements, never closed.
const std::string& FloodHead()
{
    static const std::string head = R"({"flag":1,"msg":"ok","count":1,"gwList":[)";
    return head;
}

const std::string& FloodChunk()
{
    static const std::string chunk = [] {
        std::string text;
        while (text.size() < kFloodChunk)
            text += R"({"gwSn":"FLOOD","isOnline":true,"gwName":"flood","nodeName":"flood"},)";
        text.resize(kFloodChunk);
        return text;
    }();
    return chunk;
}

// Byte `offset` onwards of the flood, at most `length` bytes.
std::string FloodPart(size_t offset, size_t length)
{
    const std::string& head = FloodHead();
    std::string part;
    if (offset < head.size()) {
        part = head.substr(offset, length);
        offset += part.size();
        length -= part.size();
    }
    const std::string& chunk = FloodChunk();
    while (length > 0) {
        const size_t at = (offset - head.size()) % chunk.size();
        const size_t take = std::min(length, chunk.size() - at);
        part.append(chunk, at, take);
        offset += take;
        length -= take;
    }
    return part;
}

} // namespace

BulkWebService::BulkWebService() : server_(std::make_unique<httplib::Server>())
{
    server_->Post(".*", [this](const httplib::Request& in, httplib::Response& out) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (floodBytes_ > 0) {
            const size_t total = floodBytes_;
            auto provide = [this, total](size_t offset, httplib::DataSink& sink) {
                if (offset >= total) {
                    sink.done();
                    return true;
                }
                const std::string part = FloodPart(offset, std::min(kFloodChunk, total - offset));
                if (!sink.write(part.data(), part.size()))
                    return false;
                std::lock_guard<std::mutex> counted(mutex_);
                floodSent_ += part.size();
                return true;
            };
            if (floodAnnounced_) {
                out.set_content_provider(total, "application/json",
                                         [provide](size_t offset, size_t, httplib::DataSink& sink) {
                                             return provide(offset, sink);
                                         });
            } else {
                out.set_chunked_content_provider("application/json", provide);
            }
            return;
        }
        const std::string action = in.path.substr(in.path.rfind('/') + 1);
        if (action == "Login") {
            out.set_content(R"({"flag":1,"msg":"登录成功","orgId":7,"newRoleId":2,"accountsId":70})",
                            "application/json");
        } else if (action == "QueryGateway") {
            out.set_content(gateways_, "application/json");
        } else if (action == "QueryDeviceByGw") {
            out.set_content(devices_, "application/json");
        } else {
            out.status = 404;
        }
    });
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ > 0) {
        thread_ = std::thread([this] { server_->listen_after_bind(); });
        for (int i = 0; i < 5000 && !server_->is_running(); ++i) // stop() only acts once this is true
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    SetGateways(0);
    SetDevices(0);
}

BulkWebService::~BulkWebService()
{
    server_->stop();
    if (thread_.joinable())
        thread_.join();
}

int BulkWebService::Port() const
{
    return server_->is_running() ? port_ : -1;
}

void BulkWebService::SetGateways(size_t count)
{
    std::string reply = GatewayListReply(count);
    std::lock_guard<std::mutex> lock(mutex_);
    gateways_ = std::move(reply);
}

void BulkWebService::SetDevices(size_t count)
{
    std::string reply = DeviceListReply(count);
    std::lock_guard<std::mutex> lock(mutex_);
    devices_ = std::move(reply);
}

void BulkWebService::SetFlood(size_t bytes, bool announced)
{
    std::lock_guard<std::mutex> lock(mutex_);
    floodBytes_ = bytes;
    floodAnnounced_ = announced;
    floodSent_ = 0;
}

size_t BulkWebService::FloodBytesSent() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return floodSent_;
}

std::string BulkWebService::GatewayListReply(size_t count)
{
    std::string reply = R"({"flag":1,"msg":"查询成功","count":)" + std::to_string(count) + R"(,"gwList":[)";
    reply.reserve(reply.size() + count * 72);
    char element[160];
    for (size_t i = 0; i < count; ++i) {
        const int length =
            std::snprintf(element, sizeof element,
                          R"(%s{"gwSn":"GW%07zu","isOnline":%s,"gwName":"Gw %zu","nodeName":"N%zu"})",
                          i == 0 ? "" : ",", i, i % 3 == 0 ? "false" : "true", i, i % 50);
        reply.append(element, static_cast<size_t>(length));
    }
    return reply + "]}";
}

std::string BulkWebService::DeviceListReply(size_t count)
{
    std::string reply = R"({"flag":1,"msg":"查询成功","count":)" + std::to_string(count) + R"(,"devList":[)";
    reply.reserve(reply.size() + count * 150);
    char element[320];
    for (size_t i = 0; i < count; ++i) {
        const bool serial = i % 2 == 0;
        const int length = std::snprintf(
            element, sizeof element,
            R"(%s{"deviceId":%zu,"id":"d%zu","deviceName":"Device %zu","deviceSn":"DV%07zu",)"
            R"("ifaceTypeName":"%s","online":true,"ifaceType":%d,"ip":"%s","port":%d,"baud":9600,)"
            R"("tunType":%d})",
            i == 0 ? "" : ",", i, i, i, i, serial ? "RS485" : "Ethernet", serial ? 2 : 3,
            serial ? "" : "10.0.0.1", serial ? 0 : 502, serial ? 2 : 1);
        reply.append(element, static_cast<size_t>(length));
    }
    return reply + "]}";
}
