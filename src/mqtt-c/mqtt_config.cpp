#include "mqtt-c/mqtt_config.h"

#include <mosquitto.h>

#include <cstdlib>
#include <cstring>

namespace {

// Replaces an owned text with a copy of `value`.
void SetText(char** field, const char* value)
{
    std::free(*field);
    *field = strdup(value);
}

bool AppendText(char*** array, int* count, const char* value)
{
    char** grown = static_cast<char**>(std::realloc(*array, sizeof(char*) * static_cast<size_t>(*count + 1)));
    if (grown == nullptr) {
        return false;
    }
    *array = grown;
    grown[*count] = strdup(value);
    ++*count;
    return true;
}

void FreeArray(char*** array, int* count)
{
    for (int i = 0; i < *count; ++i) {
        std::free((*array)[i]);
    }
    std::free(*array);
    *array = nullptr;
    *count = 0;
}

bool Is(const char* arg, const char* shortName, const char* longName = nullptr)
{
    return (shortName != nullptr && std::strcmp(arg, shortName) == 0) ||
           (longName != nullptr && std::strcmp(arg, longName) == 0);
}

} // namespace

void mqtt_config_defaults(mqtt_config* cfg)
{
    std::memset(cfg, 0, sizeof(*cfg));
    cfg->protocol_version = MQTT_PROTOCOL_V31;
    cfg->keepalive = 60;
    cfg->port = 1883;
    cfg->max_inflight = 20;
    cfg->clean_session = true;
    cfg->eol = true;
}

void mqtt_config_free(mqtt_config* cfg)
{
    std::free(cfg->id);
    std::free(cfg->id_prefix);
    std::free(cfg->host);
    std::free(cfg->bind_address);
    std::free(cfg->username);
    std::free(cfg->password);
    std::free(cfg->will_topic);
    std::free(cfg->will_payload);
    FreeArray(&cfg->topics, &cfg->topic_count);
    FreeArray(&cfg->filter_outs, &cfg->filter_out_count);
    std::memset(cfg, 0, sizeof(*cfg));
}

bool mqtt_config_file_path(char* path, size_t size)
{
    const char* folder = std::getenv("USERPROFILE");
    if (folder == nullptr || folder[0] == '\0') {
        folder = std::getenv("HOME");
    }
    if (folder == nullptr) {
        return false;
    }
    const size_t length = std::strlen(folder);
    if (length < 1 || length > 1023) {
        return false;
    }
    const int written = std::snprintf(path, size, "%s/mosquitto_sub.conf", folder);
    return written > 0 && static_cast<size_t>(written) < size;
}

int mqtt_config_parse(mqtt_config* cfg, int /*mode*/, int argc, char* argv[], FILE* err)
{
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const bool last = i == argc - 1;
        const char* value = last ? nullptr : argv[i + 1];
        if (arg == nullptr) {
            std::fprintf(err, "Error: Unknown option '%s'.\n", "");
            return 1;
        }
        if (Is(arg, "-p", "--port")) {
            if (last) {
                std::fprintf(err, "Error: -p argument given but no port specified.\n\n");
                return 1;
            }
            cfg->port = std::atoi(value);
            if (cfg->port < 1 || cfg->port > 65535) {
                std::fprintf(err, "Error: Invalid port given: %d\n", cfg->port);
                return 1;
            }
            ++i;
        } else if (Is(arg, "-A")) {
            if (last) {
                std::fprintf(err, "Error: -A argument given but no address specified.\n\n");
                return 1;
            }
            SetText(&cfg->bind_address, value);
            ++i;
        } else if (Is(arg, "-C")) {
            if (last) {
                std::fprintf(err, "Error: -C argument given but no count specified.\n\n");
                return 1;
            }
            cfg->msg_count = std::atoi(value);
            if (cfg->msg_count < 1) {
                std::fprintf(err, "Error: Invalid message count \"%d\".\n\n", cfg->msg_count);
                return 1;
            }
            ++i;
        } else if (Is(arg, "-d", "--debug")) {
            cfg->debug = true;
        } else if (Is(arg, "--help")) {
            return 2;
        } else if (Is(arg, "-h", "--host")) {
            if (last) {
                std::fprintf(err, "Error: -h argument given but no host specified.\n\n");
                return 1;
            }
            SetText(&cfg->host, value);
            ++i;
        } else if (Is(arg, "-i", "--id")) {
            if (cfg->id_prefix != nullptr) {
                std::fprintf(err, "Error: -i and -I argument cannot be used together.\n\n");
                return 1;
            }
            if (last) {
                std::fprintf(err, "Error: -i argument given but no id specified.\n\n");
                return 1;
            }
            SetText(&cfg->id, value);
            ++i;
        } else if (Is(arg, "-I", "--id-prefix")) {
            if (cfg->id != nullptr) {
                std::fprintf(err, "Error: -i and -I argument cannot be used together.\n\n");
                return 1;
            }
            if (last) {
                std::fprintf(err, "Error: -I argument given but no id prefix specified.\n\n");
                return 1;
            }
            SetText(&cfg->id_prefix, value);
            ++i;
        } else if (Is(arg, "-k", "--keepalive")) {
            if (last) {
                std::fprintf(err, "Error: -k argument given but no keepalive specified.\n\n");
                return 1;
            }
            cfg->keepalive = std::atoi(value);
            if (cfg->keepalive > 65535) {
                std::fprintf(err, "Error: Invalid keepalive given: %d\n", cfg->keepalive);
                return 1;
            }
            ++i;
        } else if (Is(arg, "-M")) {
            if (last) {
                std::fprintf(err, "Error: -M argument given but max_inflight not specified.\n\n");
                return 1;
            }
            cfg->max_inflight = static_cast<unsigned int>(std::atoi(value));
            ++i;
        } else if (Is(arg, "-V", "--protocol-version")) {
            if (last) {
                std::fprintf(err, "Error: --protocol-version argument given but no version specified.\n\n");
                return 1;
            }
            if (std::strcmp(value, "mqttv31") == 0) {
                cfg->protocol_version = MQTT_PROTOCOL_V31;
            } else if (std::strcmp(value, "mqttv311") == 0) {
                cfg->protocol_version = MQTT_PROTOCOL_V311;
            } else {
                std::fprintf(err, "Error: Invalid protocol version argument given.\n\n");
                return 1;
            }
            ++i;
        } else if (Is(arg, "-q", "--qos")) {
            if (last) {
                std::fprintf(err, "Error: -q argument given but no QoS specified.\n\n");
                return 1;
            }
            cfg->qos = std::atoi(value);
            if (cfg->qos < 0 || cfg->qos > 2) {
                std::fprintf(err, "Error: Invalid QoS given: %d\n", cfg->qos);
                return 1;
            }
            ++i;
        } else if (Is(arg, "--quiet")) {
            cfg->quiet = true;
        } else if (Is(arg, "-t", "--topic")) {
            if (last) {
                std::fprintf(err, "Error: -t argument given but no topic specified.\n\n");
                return 1;
            }
            if (mosquitto_sub_topic_check(value) == MOSQ_ERR_INVAL) {
                std::fprintf(
                    err, "Error: Invalid subscription topic '%s', are all '+' and '#' wildcards correct?\n",
                    value);
                return 1;
            }
            if (!AppendText(&cfg->topics, &cfg->topic_count, value)) {
                std::fprintf(err, "Error: Out of memory.\n");
                return 1;
            }
            ++i;
        } else if (Is(arg, "-T", "--filter-out")) {
            if (last) {
                std::fprintf(err, "Error: -T argument given but no topic filter specified.\n\n");
                return 1;
            }
            if (mosquitto_sub_topic_check(value) == MOSQ_ERR_INVAL) {
                std::fprintf(
                    err, "Error: Invalid filter topic '%s', are all '+' and '#' wildcards correct?\n", value);
                return 1;
            }
            if (!AppendText(&cfg->filter_outs, &cfg->filter_out_count, value)) {
                std::fprintf(err, "Error: Out of memory.\n");
                return 1;
            }
            ++i;
        } else if (Is(arg, "-u", "--username")) {
            if (last) {
                std::fprintf(err, "Error: -u argument given but no username specified.\n\n");
                return 1;
            }
            SetText(&cfg->username, value);
            ++i;
        } else if (Is(arg, "-P", "--pw")) {
            if (last) {
                std::fprintf(err, "Error: -P argument given but no password specified.\n\n");
                return 1;
            }
            SetText(&cfg->password, value);
            ++i;
        } else if (Is(arg, "--will-payload")) {
            if (last) {
                std::fprintf(err, "Error: --will-payload argument given but no will payload specified.\n\n");
                return 1;
            }
            SetText(&cfg->will_payload, value);
            cfg->will_payloadlen = static_cast<long>(std::strlen(value));
            ++i;
        } else if (Is(arg, "--will-qos")) {
            if (last) {
                std::fprintf(err, "Error: --will-qos argument given but no will QoS specified.\n\n");
                return 1;
            }
            cfg->will_qos = std::atoi(value);
            if (cfg->will_qos < 0 || cfg->will_qos > 2) {
                std::fprintf(err, "Error: Invalid will QoS %d.\n\n", cfg->will_qos);
                return 1;
            }
            ++i;
        } else if (Is(arg, "--will-retain")) {
            cfg->will_retain = true;
        } else if (Is(arg, "--will-topic")) {
            if (last) {
                std::fprintf(err, "Error: --will-topic argument given but no will topic specified.\n\n");
                return 1;
            }
            if (mosquitto_pub_topic_check(value) == MOSQ_ERR_INVAL) {
                std::fprintf(err, "Error: Invalid will topic '%s', does it contain '+' or '#'?\n", value);
                return 1;
            }
            SetText(&cfg->will_topic, value);
            ++i;
        } else if (Is(arg, "-c", "--disable-clean-session")) {
            cfg->clean_session = false;
        } else if (Is(arg, "-N")) {
            cfg->eol = false;
        } else if (Is(arg, "-R")) {
            cfg->no_retain = true;
        } else if (Is(arg, "-v", "--verbose")) {
            cfg->verbose = true;
        } else {
            std::fprintf(err, "Error: Unknown option '%s'.\n", arg);
            return 1;
        }
    }
    return 0;
}

int mqtt_config_load(mqtt_config* cfg, int mode, int argc, char* argv[], FILE* err)
{
    mqtt_config_defaults(cfg);

    char path[1100];
    if (!mqtt_config_file_path(path, sizeof(path))) {
        std::fprintf(err, "Warning: Unable to locate configuration directory, default config not loaded.\n");
    } else if (FILE* file = std::fopen(path, "r")) {
        // One option per line: the option word and at most one value word.
        char line[1024];
        while (std::fgets(line, sizeof(line), file) != nullptr) {
            if (line[0] == '#') {
                continue;
            }
            size_t length = std::strlen(line);
            while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) {
                line[--length] = '\0';
            }
            char* save = nullptr;
            char* args[3] = {nullptr, nullptr, nullptr};
            args[1] = strtok_r(line, " ", &save);
            if (args[1] == nullptr) {
                continue;
            }
            args[2] = strtok_r(nullptr, " ", &save);
            const int count = args[2] != nullptr ? 3 : 2;
            const int rc = mqtt_config_parse(cfg, mode, count, args, err);
            if (rc != 0) {
                std::fclose(file);
                return rc;
            }
        }
        std::fclose(file);
    }

    const int rc = mqtt_config_parse(cfg, mode, argc, argv, err);
    if (rc != 0) {
        return rc;
    }

    if (cfg->will_payload != nullptr && cfg->will_topic == nullptr) {
        std::fprintf(err, "Error: Will payload given, but no will topic given.\n");
        return 1;
    }
    if (cfg->will_retain && cfg->will_topic == nullptr) {
        std::fprintf(err, "Error: Will retain given, but no will topic given.\n");
        return 1;
    }
    if (cfg->password != nullptr && cfg->username == nullptr && !cfg->quiet) {
        std::fprintf(err, "Warning: Not using password since username not set.\n");
    }
    if (!cfg->clean_session && (cfg->id_prefix != nullptr || cfg->id == nullptr)) {
        if (!cfg->quiet) {
            std::fprintf(err, "Error: You must provide a client id if you are using the -c option.\n");
        }
        return 1;
    }
    if (cfg->topic_count == 0) {
        if (!cfg->quiet) {
            std::fprintf(err, "Error: You must specify a topic to subscribe to.\n");
        }
        return 1;
    }
    if (cfg->host == nullptr) {
        cfg->host = strdup("localhost");
    }
    return 0;
}
