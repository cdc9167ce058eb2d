#include "TunnelTestBed.h"

#include "app/CustomResourceTable.h"
#include "app/PcId.h"
#include "mqtt-c/mosquitto_wrapper.h"
#include "support/PlatconfBuilder.h"
#include "support/PumpUntil.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace {

const char kMarkerTopic[] = "/tunnel-test/marker";

} // namespace

TunnelTestBed::TunnelTestBed()
{
    qputenv("LUMETRA_HOME", home_.Path().toUtf8());
    qputenv("USERPROFILE", home_.Path().toUtf8());
    SetPcId(kPc);
    mqtt_set_pc_id(kPc, std::strlen(kPc));
    // The client's own diagnostics go to a file of the test, not into its output.
    diagnostics_ = std::tmpfile();
    mqtt_set_streams(diagnostics_, diagnostics_);
    SetResources({});
}

TunnelTestBed::~TunnelTestBed()
{
    StopClient();
    farSide_.Disconnect();
    broker_.Stop();
    mqtt_set_streams(nullptr, nullptr);
    if (diagnostics_ != nullptr) {
        std::fclose(diagnostics_);
    }
    LoadCustomResourcesFrom(home_.FilePath("absent"));
}

bool TunnelTestBed::Start()
{
    if (!broker_.Start()) {
        ADD_FAILURE() << broker_.Error().toStdString();
        return false;
    }
    if (!farSide_.Connect(broker_.Host(), broker_.Port(), broker_.User(), broker_.Password()) ||
        !farSide_.Subscribe("#", 2)) {
        ADD_FAILURE() << "far side did not connect";
        return false;
    }
    const std::string host = broker_.Host();
    const int port = broker_.Port();
    client_ = std::thread([this, host, port] {
        mqtt_client_run(host.c_str(), port, MosquittoBroker::kUser, MosquittoBroker::kPassword);
        finished_ = true;
    });
    const QString subscribed = QString(" 2 /") + kPc + "/lumetraToPC";
    if (!PumpUntil([&] { return broker_.CountLogLines(subscribed) >= 1; }, 15000)) {
        ADD_FAILURE() << "the client did not subscribe";
        return false;
    }
    return true;
}

void TunnelTestBed::StopClient()
{
    if (!client_.joinable()) {
        return;
    }
    const bool ended = PumpUntil(
        [this] {
            mqtt_client_stop();
            return finished_.load();
        },
        15000);
    if (ended) {
        client_.join();
    } else {
        ADD_FAILURE() << "the MQTT client did not stop";
        client_.detach();
    }
}

void TunnelTestBed::SetResources(const std::map<std::string, std::string>& entries)
{
    PlatconfBuilder builder;
    for (const auto& [name, text] : entries) {
        builder.Text(name, text);
    }
    const QString path = home_.FilePath("custom_resource/platconf");
    home_.MakeDir("custom_resource");
    ASSERT_TRUE(builder.WriteTo(path));
    LoadCustomResourcesFrom(path);
}

std::vector<MqttTestClient::Message> TunnelTestBed::TakeFrom(size_t end)
{
    const std::vector<MqttTestClient::Message> all = farSide_.Messages();
    std::vector<MqttTestClient::Message> taken;
    for (size_t i = taken_; i < end && i < all.size(); ++i) {
        if (all[i].topic != std::string("/") + kPc + "/lumetraToPC" && all[i].topic != kMarkerTopic) {
            taken.push_back(all[i]);
        }
    }
    taken_ = end;
    return taken;
}

std::vector<MqttTestClient::Message> TunnelTestBed::TakePublished()
{
    const std::string marker = std::to_string(++markers_);
    mqtt_publish(kMarkerTopic, marker.data(), static_cast<int>(marker.size()), 0);
    size_t end = 0;
    const bool seen = PumpUntil([&] {
        const std::vector<MqttTestClient::Message> all = farSide_.Messages();
        for (size_t i = taken_; i < all.size(); ++i) {
            if (all[i].topic == kMarkerTopic && all[i].payload == marker) {
                end = i + 1;
                return true;
            }
        }
        return false;
    });
    EXPECT_TRUE(seen) << "marker " << marker << " did not come back";
    return TakeFrom(seen ? end : taken_);
}

std::vector<MqttTestClient::Message> TunnelTestBed::TakePublished(size_t count)
{
    size_t end = taken_;
    PumpUntil([&] {
        end = farSide_.Messages().size();
        return end >= taken_ + count;
    });
    return TakeFrom(end);
}

bool TunnelTestBed::PublishToPc(const std::string& payload)
{
    std::atomic<int> result{-1};
    std::thread publisher(
        [&] { result = farSide_.Publish(std::string("/") + kPc + "/lumetraToPC", payload, 1) ? 1 : 0; });
    PumpUntil([&] { return result.load() >= 0; }, 15000);
    publisher.join();
    return result == 1;
}

std::string TunnelTestBed::WithPc(std::string text)
{
    for (size_t at = text.find("$PC"); at != std::string::npos; at = text.find("$PC", at)) {
        text.replace(at, 3, kPc);
    }
    return text;
}
