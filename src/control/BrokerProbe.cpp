#include "control/BrokerProbe.h"

#include "mqtt-c/mqtt_topics.h"

#include <mosquitto.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// What the callbacks saw; owned by Run, reached through the client's user data.
struct ProbeState
{
    std::string topic;
    std::string payload;
    int connack = -1; // the broker's CONNACK code, -1 before it came
    bool subscribed = false;
    bool published = false;
    bool echoed = false;
    long long connectMs = 0;
    Clock::time_point start;
};

struct MosquittoDeleter
{
    void operator()(mosquitto* client) const { mosquitto_destroy(client); }
};

void OnConnect(mosquitto* client, void* userdata, int result)
{
    auto* state = static_cast<ProbeState*>(userdata);
    state->connack = result;
    state->connectMs = MsSince(state->start);
    if (result == 0)
        mosquitto_subscribe(client, nullptr, state->topic.c_str(), 1);
}

void OnSubscribe(mosquitto* client, void* userdata, int /*mid*/, int /*count*/, const int* /*granted*/)
{
    auto* state = static_cast<ProbeState*>(userdata);
    state->subscribed = true;
    // Published only once the subscription is in place, so it must come back.
    if (mosquitto_publish(client, nullptr, state->topic.c_str(), static_cast<int>(state->payload.size()),
                          state->payload.data(), 1, false) == MOSQ_ERR_SUCCESS)
        state->published = true;
}

void OnMessage(mosquitto* /*client*/, void* userdata, const mosquitto_message* message)
{
    auto* state = static_cast<ProbeState*>(userdata);
    if (message != nullptr && message->topic != nullptr && state->topic == message->topic &&
        message->payloadlen == static_cast<int>(state->payload.size()) &&
        std::memcmp(message->payload, state->payload.data(), state->payload.size()) == 0)
        state->echoed = true;
}

} // namespace

BrokerProbe::BrokerProbe(Settings settings) : settings_(std::move(settings)) {}

PreflightResult BrokerProbe::Run(int timeoutMs) const
{
    PreflightResult result;
    result.name = "broker";
    result.target = settings_.host + ":" + std::to_string(settings_.port);
    const std::string where = "the broker at " + result.target;
    if (settings_.host.empty() || settings_.port <= 0 || settings_.port > 65535) {
        result.detail = "the installation names no broker (\"bh\", \"bp\")";
        result.fix = "reinstall the program with its custom_resource/platconf";
        return result;
    }
    ProbeState state;
    state.start = Clock::now();
    char topic[kTopicBufferSize];
    std::snprintf(topic, sizeof topic, kPcTopicFormat, settings_.pcId.c_str());
    state.topic = topic;
    state.payload = "{\"doctorProbe\":\"" + std::to_string(getpid()) + "-" +
                    std::to_string(std::chrono::system_clock::now().time_since_epoch().count()) + "\"}";
    // A client identity of its own (at most 23 characters, as MQTT 3.1 allows), never the
    // running client's, which the broker would otherwise disconnect.
    const std::string clientId =
        ("lmdoc-" + std::to_string(getpid()) + "-" + std::to_string(MsSince(Clock::time_point())))
            .substr(0, 23);

    mosquitto_lib_init();
    std::unique_ptr<mosquitto, MosquittoDeleter> client(mosquitto_new(clientId.c_str(), true, &state));
    if (!client) {
        result.detail = "the MQTT library could not make a client";
        result.fix = "check the installation of libmosquitto";
        return result;
    }
    int version = MQTT_PROTOCOL_V31;
    mosquitto_opts_set(client.get(), MOSQ_OPT_PROTOCOL_VERSION, &version);
    mosquitto_username_pw_set(client.get(), settings_.user.c_str(), settings_.password.c_str());
    mosquitto_connect_callback_set(client.get(), &OnConnect);
    mosquitto_subscribe_callback_set(client.get(), &OnSubscribe);
    mosquitto_message_callback_set(client.get(), &OnMessage);

    const auto deadline = state.start + std::chrono::milliseconds(timeoutMs);
    int failure = mosquitto_connect_async(client.get(), settings_.host.c_str(), settings_.port, 10);
    std::string failureText;
    if (failure != MOSQ_ERR_SUCCESS)
        failureText = failure == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(failure);
    while (failureText.empty() && !state.echoed && state.connack <= 0 && Clock::now() < deadline) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        const int step = mosquitto_loop(client.get(), static_cast<int>(std::min<long long>(left, 50)), 1);
        if (step == MOSQ_ERR_ERRNO)
            failureText = std::strerror(errno);
        else if (step == MOSQ_ERR_CONN_LOST)
            failureText = "the broker closed the connection";
        else if (step != MOSQ_ERR_SUCCESS)
            failureText = mosquitto_strerror(step);
    }
    if (state.connack == 0)
        mosquitto_disconnect(client.get());
    result.ms = MsSince(state.start);

    if (state.connack > 0) {
        result.detail = std::string("refused: ") + mosquitto_connack_string(state.connack);
        result.fix = where + " does not accept the account \"" + settings_.user +
                     "\": correct \"busername\"/\"bpassword\" in custom_resource/platconf (lumetra-platconf) "
                     "or have the account enabled on the broker";
        return result;
    }
    if (state.connack < 0) {
        result.detail =
            failureText.empty() ? "no answer within " + std::to_string(timeoutMs) + " ms" : failureText;
        result.fix = "check that " + where + " runs and that the network and firewall let its port through";
        return result;
    }
    if (!state.echoed) {
        result.detail = std::string("connected in ") + std::to_string(state.connectMs) + " ms, but " +
                        (!state.subscribed ? "the subscription to " + state.topic + " was not confirmed"
                                           : "the message sent to " + state.topic + " did not come back") +
                        (failureText.empty() ? "" : " (" + failureText + ")");
        result.fix = where + " must let the account \"" + settings_.user + "\" publish and subscribe on " +
                     state.topic + " (its access rules)";
        return result;
    }
    result.ok = true;
    result.detail =
        "connected in " + std::to_string(state.connectMs) + " ms, message back from " + state.topic;
    return result;
}
