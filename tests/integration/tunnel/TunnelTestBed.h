#pragma once

#include "support/MosquittoBroker.h"
#include "support/MqttTestClient.h"
#include "support/TempDir.h"

#include <atomic>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

// What a tunnel test runs against: a real broker, the program's MQTT client on its
// own thread (this thread is the UI thread), a far-side client subscribed to every
// topic, and a fresh program folder with its own custom resource file.
class TunnelTestBed
{
public:
    static constexpr const char* kPc = "17250000009876543210";

    TunnelTestBed();
    ~TunnelTestBed();

    // Starts broker, client and far side; false with a test failure when one fails.
    bool Start();
    // Writes and loads the custom resource file with these text entries.
    void SetResources(const std::map<std::string, std::string>& entries);
    const TempDir& Home() const { return home_; }

    // Everything the PC published since the last call: a marker is published last
    // and waited for, so the answer is complete (and empty when nothing was sent).
    std::vector<MqttTestClient::Message> TakePublished();
    // Waits for `count` further messages from the PC, without a marker.
    std::vector<MqttTestClient::Message> TakePublished(size_t count);
    // Publishes a message to the PC's topic while this thread keeps handling
    // the messages the client delivers.
    bool PublishToPc(const std::string& payload);

    MqttTestClient& FarSide() { return farSide_; }
    // `text` with every "$PC" replaced by the PC identifier.
    static std::string WithPc(std::string text);

private:
    void StopClient();
    std::vector<MqttTestClient::Message> TakeFrom(size_t end);

    TempDir home_;
    MosquittoBroker broker_;
    MqttTestClient farSide_{"tunnel-far-side"};
    std::thread client_;
    std::atomic<bool> finished_{false};
    FILE* diagnostics_ = nullptr;
    size_t taken_ = 0;
    int markers_ = 0;
};
