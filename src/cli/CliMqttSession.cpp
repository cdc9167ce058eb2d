#include "CliMqttSession.h"

#include "CliConsole.h"
#include "app/Installation.h"
#include "mqtt-c/MqttConnection.h"
#include "mqtt-c/mqtt_thread.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <future>
#include <memory>
#include <thread>

CliMqttSession::CliMqttSession() : connection_(std::make_shared<MqttConnection>()) {}

CliMqttSession::~CliMqttSession()
{
    connection_->SetTargetWindow(nullptr);
}

bool CliMqttSession::Start(const Installation& installation, platform::MessageWindow* target)
{
    for (const char* name : {"bh", "bp", "busername", "bpassword"}) {
        if (installation.FindResource(name) == nullptr) {
            CliConsole::Error(std::string("the installation's platconf has no broker entry \"") + name +
                              "\"");
            return false;
        }
    }
    connection_->SetStreams(stderr, stderr);
    const char* pcId = installation.PcId();
    connection_->SetPcId(pcId, std::strlen(pcId));
    connection_->SetTargetWindow(target);
    auto done = std::make_shared<std::promise<void>>();
    threadDone_ = done->get_future().share();
    std::thread([done, &installation, connection = connection_] {
        mqtt_thread_entry(installation, *connection);
        done->set_value();
    }).detach();
    CliConsole::Err("connecting to " + installation.ResourceText("bh") + ":" +
                    installation.ResourceText("bp") + " as " + pcId);
    return true;
}

void CliMqttSession::Stop()
{
    // The MQTT thread may be inside SendWindowMessage, waiting for this (the UI) thread to
    // handle an inbound message: keep handling them while waiting instead of blocking.
    auto waitUntil = [](auto done, int seconds) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            if (QCoreApplication::instance() != nullptr)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    };
    // What was published last (the VPN switch-off, QoS 2, goes out just before the
    // command ends) reaches the far side only once the broker has it whole: let the
    // library finish those exchanges first (briefly).
    // Releases kept while the broker was away (a tunnel closed during an outage) go
    // out once it is back: wait for them a little longer.
    if (threadDone_.valid())
        waitUntil(
            [this] { return connection_->PendingReleases() == 0 && connection_->UnfinishedPublishes() == 0; },
            connection_->PendingReleases() > 0 ? MqttConnection::kReleaseWaitMs / 1000 : 3);
    connection_->Stop();
    if (!threadDone_.valid())
        return;
    // The DISCONNECT goes out from the MQTT thread's loop: wait (briefly) for the
    // loop to end so the process does not exit first and make the broker publish
    // the last will.
    waitUntil(
        [this] { return threadDone_.wait_for(std::chrono::milliseconds(10)) == std::future_status::ready; },
        3);
}
