#include "mqtt-c/mosquitto_wrapper.h"

#include "mqtt-c/mqtt_commands.h"
#include "mqtt-c/mqtt_dispatch.h"
#include "mqtt-c/mqtt_topics.h"

#include <mosquitto.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <unistd.h>

namespace {

// The client handle is written only by the client thread (set-up and destroy) and
// read by publishers on any thread; the lock keeps a publisher from using a client
// that is being destroyed. It is never held while waiting for the UI thread.
std::mutex g_clientLock;
struct mosquitto* g_client = nullptr;
bool g_running = false;
bool g_stopRequested = false;

// Written during set-up on the client thread; the server topic is also read by
// publishers, under g_clientLock.
mqtt_config g_config;
char g_pcId[260];
char g_serverTopic[264];
char g_willPayload[600];
char g_hostCopy[264];
char g_keepaliveText[264];

// Messages handed to the library whose publish callback has not come yet (QoS 0: not
// written yet; QoS 1 and 2: not acknowledged yet), by message id, and the ids whose
// callback came before their publisher could note them. Never held while calling
// into the library.
std::mutex g_publishLock;
// Never destroyed: a client thread may still end its run while the process exits.
std::set<int>& g_unfinishedMids = *new std::set<int>;
std::set<int>& g_earlyMids = *new std::set<int>;

void NotePublished(int result, int mid)
{
    if (result != MOSQ_ERR_SUCCESS) {
        return;
    }
    std::lock_guard<std::mutex> guard(g_publishLock);
    if (g_earlyMids.erase(mid) == 0) {
        g_unfinishedMids.insert(mid);
    }
}

// Client thread only.
bool g_processing = true;
int g_messageCounter = 0;

std::atomic<MessageWindow*> g_targetWindow{nullptr};
std::atomic<FILE*> g_out{nullptr};
std::atomic<FILE*> g_err{nullptr};

FILE* Out()
{
    FILE* out = g_out.load();
    return out != nullptr ? out : stdout;
}

FILE* Err()
{
    FILE* err = g_err.load();
    return err != nullptr ? err : stderr;
}

void CopyText(char* buffer, size_t size, const char* text)
{
    std::snprintf(buffer, size, "%s", text != nullptr ? text : "");
}

int mqtt_client_opts_set(struct mosquitto* mosq, mqtt_config* cfg)
{
    if (cfg->will_topic != nullptr &&
        mosquitto_will_set(mosq, cfg->will_topic, static_cast<int>(cfg->will_payloadlen), cfg->will_payload,
                           cfg->will_qos, cfg->will_retain) != MOSQ_ERR_SUCCESS) {
        if (!cfg->quiet) {
            std::fprintf(Err(), "Error: Problem setting will.\n");
        }
        mosquitto_lib_cleanup();
        return 1;
    }
    if (cfg->username != nullptr &&
        mosquitto_username_pw_set(mosq, cfg->username, cfg->password) != MOSQ_ERR_SUCCESS) {
        if (!cfg->quiet) {
            std::fprintf(Err(), "Error: Problem setting username and password.\n");
        }
        mosquitto_lib_cleanup();
        return 1;
    }
    mosquitto_max_inflight_messages_set(mosq, cfg->max_inflight);
    mosquitto_opts_set(mosq, MOSQ_OPT_PROTOCOL_VERSION, &cfg->protocol_version);
    return 0;
}

} // namespace

void mqtt_set_pc_id(const char* text, size_t length)
{
    std::memset(g_pcId, 0, sizeof(g_pcId));
    if (text != nullptr) {
        std::memcpy(g_pcId, text, length < sizeof(g_pcId) - 1 ? length : sizeof(g_pcId) - 1);
    }
}

const char* mqtt_pc_id()
{
    return g_pcId;
}

void mqtt_set_target_window(MessageWindow* window)
{
    g_targetWindow.store(window);
}

MessageWindow* mqtt_target_window()
{
    return g_targetWindow.load();
}

void mqtt_set_streams(FILE* out, FILE* err)
{
    g_out.store(out);
    g_err.store(err);
}

const mqtt_config* mqtt_client_config()
{
    return &g_config;
}

const char* mqtt_server_topic()
{
    return g_serverTopic;
}

const char* mqtt_will_payload()
{
    return g_willPayload;
}

void mqtt_client_build_args(mqtt_client_args* args, const char* host, int port, const char* username,
                            const char* password)
{
    CopyText(args->host, sizeof(args->host), host);
    std::snprintf(args->topic, sizeof(args->topic), kPcTopicFormat, g_pcId);
    CopyText(args->keepalive, sizeof(args->keepalive), "10");
    std::snprintf(args->port, sizeof(args->port), "%d", port);
    char** argv = args->argv;
    argv[0] = const_cast<char*>("mosquitto_sub");
    argv[1] = const_cast<char*>("-v");
    argv[2] = const_cast<char*>("-h");
    argv[3] = args->host;
    argv[4] = const_cast<char*>("-t");
    argv[5] = args->topic;
    argv[6] = const_cast<char*>("-k");
    argv[7] = args->keepalive;
    argv[8] = const_cast<char*>("-q");
    argv[9] = const_cast<char*>("2");
    argv[10] = const_cast<char*>("-p");
    argv[11] = args->port;
    argv[12] = const_cast<char*>("-u");
    argv[13] = const_cast<char*>(username != nullptr ? username : "");
    argv[14] = const_cast<char*>("-P");
    argv[15] = const_cast<char*>(password != nullptr ? password : "");
}

int mqtt_client_id_generate(mqtt_config* cfg, const char* pcId)
{
    if (cfg->id_prefix != nullptr) {
        const size_t size = std::strlen(cfg->id_prefix) + 10;
        char* id = static_cast<char*>(std::malloc(size));
        if (id == nullptr) {
            if (!cfg->quiet) {
                std::fprintf(Err(), "Error: Out of memory.\n");
            }
            mosquitto_lib_cleanup();
            return 1;
        }
        std::snprintf(id, size, "%s%d", cfg->id_prefix, static_cast<int>(getpid()));
        std::free(cfg->id);
        cfg->id = id;
        return 0;
    }
    if (cfg->id != nullptr) {
        return 0;
    }
    char hostname[256];
    std::memset(hostname, 0, sizeof(hostname));
    gethostname(hostname, sizeof(hostname));
    hostname[sizeof(hostname) - 1] = '\0';
    const size_t size = std::strlen(pcId) + 2 + std::strlen(hostname) + 100;
    char* id = static_cast<char*>(std::malloc(size));
    if (id == nullptr) {
        if (!cfg->quiet) {
            std::fprintf(Err(), "Error: Out of memory.\n");
        }
        mosquitto_lib_cleanup();
        return 1;
    }
    std::snprintf(id, size, "%s|%d-%s", pcId, static_cast<int>(getpid()), hostname);
    if (std::strlen(id) > MOSQ_MQTT_ID_MAX_LENGTH) {
        id[MOSQ_MQTT_ID_MAX_LENGTH] = '\0';
    }
    cfg->id = id;
    return 0;
}

int mqtt_client_init(const char* host, int port, const char* username, const char* password)
{
    CopyText(g_hostCopy, sizeof(g_hostCopy), host);
    CopyText(g_keepaliveText, sizeof(g_keepaliveText), "10");

    mqtt_client_args args;
    mqtt_client_build_args(&args, host, port, username, password);

    const int rc = mqtt_config_load(&g_config, MQTT_CLIENT_SUB, 16, args.argv, Err());
    if (rc != 0) {
        mqtt_config_free(&g_config);
        if (rc != 2) {
            std::fprintf(Err(), "\nUse 'mosquitto_sub --help' to see usage.\n");
        }
        return 1;
    }

    {
        std::lock_guard<std::mutex> guard(g_clientLock);
        // An identifier too long for the buffer (never one of 20 digits) is cut.
        const int length = std::snprintf(g_serverTopic, sizeof(g_serverTopic), "/%s/lumetraToServer", g_pcId);
        if (length < 0) {
            g_serverTopic[0] = '\0';
        }
    }

    mosquitto_lib_init();

    if (mqtt_client_id_generate(&g_config, g_pcId) != 0) {
        mqtt_config_free(&g_config);
        return 1;
    }

    struct mosquitto* mosq = mosquitto_new(g_config.id, g_config.clean_session, &g_config);
    if (mosq == nullptr) {
        if (!g_config.quiet) {
            if (errno == ENOMEM) {
                std::fprintf(Err(), "Error: Out of memory.\n");
            } else if (errno == EINVAL) {
                std::fprintf(Err(), "Error: Invalid id and/or clean_session.\n");
            }
        }
        mosquitto_lib_cleanup();
        mqtt_config_free(&g_config);
        return 1;
    }
    // Publishers on other threads only queue their packets; the network loop on the
    // client thread writes them.
    mosquitto_threaded_set(mosq, true);

    if (mqtt_client_opts_set(mosq, &g_config) != 0) {
        mosquitto_destroy(mosq);
        mqtt_config_free(&g_config);
        return 1;
    }

    if (g_config.debug) {
        mosquitto_log_callback_set(mosq, on_log);
    }
    mosquitto_subscribe_callback_set(mosq, on_subscribe);
    mosquitto_connect_callback_set(mosq, on_connect);
    mosquitto_message_callback_set(mosq, on_message);
    mosquitto_disconnect_callback_set(mosq, on_disconnect);
    mosquitto_publish_callback_set(mosq, on_publish);

    std::snprintf(g_willPayload, sizeof(g_willPayload), kWillPayloadFormat, g_pcId, kCmdPcOfflineWill);
    mosquitto_will_set(mosq, kWillTopic, static_cast<int>(std::strlen(g_willPayload)), g_willPayload, 1,
                       false);

    g_processing = true;
    g_messageCounter = 0;
    std::lock_guard<std::mutex> guard(g_clientLock);
    g_client = mosq;
    return 0;
}

int mqtt_client_connect()
{
    const int rc = mosquitto_connect_bind(g_client, g_config.host, g_config.port, g_config.keepalive,
                                          g_config.bind_address);
    if (rc > 0) {
        if (!g_config.quiet) {
            if (rc == MOSQ_ERR_ERRNO) {
                std::fprintf(Err(), "Error: %s\n", std::strerror(errno));
            } else {
                std::fprintf(Err(), "Unable to connect (%s).\n", mosquitto_strerror(rc));
            }
            std::fflush(Err());
        }
        mosquitto_lib_cleanup();
    }
    return rc;
}

void mqtt_client_destroy()
{
    struct mosquitto* mosq = nullptr;
    {
        std::lock_guard<std::mutex> guard(g_clientLock);
        mosq = g_client;
        g_client = nullptr;
    }
    if (mosq != nullptr) {
        mosquitto_destroy(mosq);
    }
    {
        std::lock_guard<std::mutex> guard(g_publishLock);
        g_unfinishedMids.clear();
        g_earlyMids.clear();
    }
    mosquitto_lib_cleanup();
    mqtt_config_free(&g_config);
}

void mqtt_client_run(const char* host, int port, const char* username, const char* password)
{
    {
        std::lock_guard<std::mutex> guard(g_clientLock);
        g_running = true;
    }
    if (mqtt_client_init(host, port, username, password) == 0) {
        mqtt_client_connect();
        bool stop = false;
        {
            std::lock_guard<std::mutex> guard(g_clientLock);
            stop = g_stopRequested;
        }
        if (stop) {
            // A stop that came before the connection: connecting reset the client's
            // state, so ask again; the loop then ends at once.
            mosquitto_disconnect(g_client);
        }
        int rc = mosquitto_loop_forever(g_client, -1, 1);
        const bool limited = g_config.msg_count > 0;
        mqtt_client_destroy();
        if (limited && rc == MOSQ_ERR_NO_CONN) {
            rc = MOSQ_ERR_SUCCESS;
        }
        if (rc != MOSQ_ERR_SUCCESS) {
            std::fprintf(Err(), "Error: %s\n", mosquitto_strerror(rc));
        }
    }
    std::lock_guard<std::mutex> guard(g_clientLock);
    g_running = false;
    g_stopRequested = false;
}

void mqtt_client_stop()
{
    std::lock_guard<std::mutex> guard(g_clientLock);
    if (!g_running) {
        return;
    }
    g_stopRequested = true;
    if (g_client != nullptr) {
        mosquitto_disconnect(g_client);
    }
}

int mqtt_publish(const char* topic, const void* payload, int length, int qos)
{
    int mid = 0;
    int result = MOSQ_ERR_INVAL;
    {
        std::lock_guard<std::mutex> guard(g_clientLock);
        if (g_client == nullptr) {
            return result;
        }
        result = mosquitto_publish(g_client, &mid, topic, length, payload, qos, false);
    }
    NotePublished(result, mid);
    return result;
}

int mqtt_publish_to_server(const void* payload, int length, int qos)
{
    int mid = 0;
    int result = MOSQ_ERR_INVAL;
    {
        std::lock_guard<std::mutex> guard(g_clientLock);
        if (g_client == nullptr) {
            return result;
        }
        result = mosquitto_publish(g_client, &mid, g_serverTopic, length, payload, qos, false);
    }
    NotePublished(result, mid);
    return result;
}

size_t mqtt_unfinished_publishes()
{
    std::lock_guard<std::mutex> guard(g_publishLock);
    return g_unfinishedMids.size();
}

void on_connect(struct mosquitto* mosq, void* obj, int result)
{
    const mqtt_config* cfg = static_cast<const mqtt_config*>(obj);
    if (result == 0) {
        for (int i = 0; i < cfg->topic_count; ++i) {
            mosquitto_subscribe(mosq, nullptr, cfg->topics[i], cfg->qos);
        }
    } else if (!cfg->quiet) {
        std::fprintf(Err(), "%s\n", mosquitto_connack_string(result));
        std::fflush(Err());
    }
}

void on_disconnect(struct mosquitto* /*mosq*/, void* obj, int result)
{
    const mqtt_config* cfg = static_cast<const mqtt_config*>(obj);
    if (result != 0 && !cfg->quiet) {
        std::fprintf(Err(), "%s\n", mosquitto_connack_string(result));
        std::fflush(Err());
    }
}

void on_subscribe(struct mosquitto* /*mosq*/, void* obj, int mid, int qos_count, const int* granted_qos)
{
    const mqtt_config* cfg = static_cast<const mqtt_config*>(obj);
    if (cfg->quiet) {
        return;
    }
    FILE* out = Out();
    std::fprintf(out, "Subscribed (mid: %d): %d", mid, qos_count > 0 ? granted_qos[0] : -1);
    for (int i = 1; i < qos_count; ++i) {
        std::fprintf(out, ", %d", granted_qos[i]);
    }
    std::fprintf(out, "\n");
    std::fflush(out);
}

void on_message(struct mosquitto* mosq, void* obj, const struct mosquitto_message* message)
{
    const mqtt_config* cfg = static_cast<const mqtt_config*>(obj);
    if (!g_processing || message == nullptr) {
        return;
    }
    if (message->retain && cfg->no_retain) {
        return;
    }
    for (int i = 0; i < cfg->filter_out_count; ++i) {
        bool matches = false;
        mosquitto_topic_matches_sub(cfg->filter_outs[i], message->topic, &matches);
        if (matches) {
            return;
        }
    }

    FILE* out = Out();
    if (cfg->verbose) {
        if (message->payloadlen > 0 && message->payload != nullptr) {
            std::fprintf(out, "%s ", message->topic);
            std::fwrite(message->payload, 1, static_cast<size_t>(message->payloadlen), out);
            if (cfg->eol) {
                std::fprintf(out, "\n");
            }
            std::fflush(out);
            mqtt_dispatch(message->topic, static_cast<const char*>(message->payload), message->payloadlen);
        } else if (cfg->eol) {
            std::fprintf(out, "%s (null)\n", message->topic);
        }
        std::fflush(out);
    } else {
        if (message->payloadlen > 0 && message->payload != nullptr) {
            std::fwrite(message->payload, 1, static_cast<size_t>(message->payloadlen), out);
            if (cfg->eol) {
                std::fprintf(out, "\n");
            }
            std::fflush(out);
        }
    }

    if (cfg->msg_count > 0) {
        ++g_messageCounter;
        if (g_messageCounter == cfg->msg_count) {
            g_processing = false;
            mosquitto_disconnect(mosq);
        }
    }
}

void on_publish(struct mosquitto* /*mosq*/, void* /*obj*/, int mid)
{
    {
        std::lock_guard<std::mutex> guard(g_publishLock);
        if (g_unfinishedMids.erase(mid) == 0) {
            g_earlyMids.insert(mid);
        }
    }
    std::fprintf(Out(), "publish cb\n");
    std::fflush(Out());
}

void on_log(struct mosquitto* /*mosq*/, void* /*obj*/, int /*level*/, const char* str)
{
    std::fprintf(Out(), "%s\n", str != nullptr ? str : "");
    std::fflush(Out());
}
