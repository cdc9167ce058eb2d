#include "CliMqttSession.h"

#include "CliConsole.h"
#include "app/CustomResourceTable.h"
#include "app/PcId.h"
#include "mqtt-c/mosquitto_wrapper.h"
#include "mqtt-c/mqtt_thread.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <future>
#include <memory>
#include <thread>

namespace {

// Fulfilled when the MQTT thread's loop has returned.
std::shared_future<void> g_threadDone;

} // namespace

bool CliMqttSession::Start(MessageWindow* target)
{
    for (const char* name : {"bh", "bp", "busername", "bpassword"}) {
        if (FindCustomResource(name) == nullptr) {
            CliConsole::Error(std::string("the installation's platconf has no broker entry \"") + name +
                              "\"");
            return false;
        }
    }
    mqtt_set_streams(stderr, stderr);
    const char* pcId = GetPcId();
    mqtt_set_pc_id(pcId, std::strlen(pcId));
    mqtt_set_target_window(target);
    auto done = std::make_shared<std::promise<void>>();
    g_threadDone = done->get_future().share();
    std::thread([done] {
        mqtt_thread_entry();
        done->set_value();
    }).detach();
    CliConsole::Err("connecting to " + CustomResourceText("bh") + ":" + CustomResourceText("bp") + " as " +
                    pcId);
    return true;
}

void CliMqttSession::Stop()
{
    // The MQTT thread may be inside SendWindowMessage, waiting for this (the UI) thread to
    // handle an inbound message: keep handling them while waiting instead of blocking.
    auto waitUntil = [](auto done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            if (QCoreApplication::instance() != nullptr)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    };
    // What was published last (the VPN switch-off, QoS 2, goes out just before the
    // command ends) reaches the far side only once the broker has it whole: let the
    // library finish those exchanges first (briefly).
    if (g_threadDone.valid())
        waitUntil([] { return mqtt_unfinished_publishes() == 0; });
    mqtt_client_stop();
    if (!g_threadDone.valid())
        return;
    // The DISCONNECT goes out from the MQTT thread's loop: wait (briefly) for the
    // loop to end so the process does not exit first and make the broker publish
    // the last will.
    waitUntil(
        [] { return g_threadDone.wait_for(std::chrono::milliseconds(10)) == std::future_status::ready; });
}
