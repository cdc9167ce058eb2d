#include "mqtt-c/mqtt_client_setup.h"

#include "mqtt-c/mqtt_topics.h"

#include <mosquitto.h>

#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

void CopyText(char* buffer, size_t size, const char* text)
{
    std::snprintf(buffer, size, "%s", text != nullptr ? text : "");
}

// Allocates `size` bytes for a client id. Out of memory it says so (unless quiet),
// releases the mosquitto library and returns null.
char* AllocateClientId(const mqtt_config* cfg, size_t size, FILE* err)
{
    char* id = static_cast<char*>(std::malloc(size));
    if (id == nullptr) {
        if (!cfg->quiet) {
            std::fprintf(err, "Error: Out of memory.\n");
        }
        mosquitto_lib_cleanup();
    }
    return id;
}

} // namespace

void mqtt_client_build_args(mqtt_client_args* args, const char* pcId, const char* host, int port,
                            const char* username, const char* password)
{
    CopyText(args->host, sizeof(args->host), host);
    std::snprintf(args->topic, sizeof(args->topic), kPcTopicFormat, pcId != nullptr ? pcId : "");
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

int mqtt_client_id_generate(mqtt_config* cfg, const char* pcId, FILE* err)
{
    if (cfg->id_prefix != nullptr) {
        const size_t size = std::strlen(cfg->id_prefix) + 10;
        char* id = AllocateClientId(cfg, size, err);
        if (id == nullptr) {
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
    char* id = AllocateClientId(cfg, size, err);
    if (id == nullptr) {
        return 1;
    }
    std::snprintf(id, size, "%s|%d-%s", pcId, static_cast<int>(getpid()), hostname);
    if (std::strlen(id) > MOSQ_MQTT_ID_MAX_LENGTH) {
        id[MOSQ_MQTT_ID_MAX_LENGTH] = '\0';
    }
    cfg->id = id;
    return 0;
}

int mqtt_client_opts_set(struct mosquitto* mosq, mqtt_config* cfg, FILE* err)
{
    if (cfg->will_topic != nullptr &&
        mosquitto_will_set(mosq, cfg->will_topic, static_cast<int>(cfg->will_payloadlen), cfg->will_payload,
                           cfg->will_qos, cfg->will_retain) != MOSQ_ERR_SUCCESS) {
        if (!cfg->quiet) {
            std::fprintf(err, "Error: Problem setting will.\n");
        }
        mosquitto_lib_cleanup();
        return 1;
    }
    if (cfg->username != nullptr &&
        mosquitto_username_pw_set(mosq, cfg->username, cfg->password) != MOSQ_ERR_SUCCESS) {
        if (!cfg->quiet) {
            std::fprintf(err, "Error: Problem setting username and password.\n");
        }
        mosquitto_lib_cleanup();
        return 1;
    }
    mosquitto_max_inflight_messages_set(mosq, cfg->max_inflight);
    mosquitto_opts_set(mosq, MOSQ_OPT_PROTOCOL_VERSION, &cfg->protocol_version);
    return 0;
}
