#pragma once

#include <cstdio>

// The option record of the MQTT client and its parser. The client is driven like a
// command-line subscriber: its settings come from an argument list built in memory,
// after the lines of an optional options file "mosquitto_sub.conf" in the user's
// profile folder (USERPROFILE, else HOME).

// Which client the options are for; only the subscriber is built.
enum
{
    MQTT_CLIENT_PUB = 1,
    MQTT_CLIENT_SUB = 2
};

struct mqtt_config
{
    char* id;
    char* id_prefix;
    int protocol_version;
    int keepalive;
    char* host;
    int port;
    int qos;
    char* bind_address;
    bool debug;
    bool quiet;
    unsigned int max_inflight;
    char* username;
    char* password;
    char* will_topic;
    char* will_payload;
    long will_payloadlen;
    int will_qos;
    bool will_retain;
    bool clean_session;
    char** topics;
    int topic_count;
    bool no_retain;
    char** filter_outs;
    int filter_out_count;
    bool verbose;
    bool eol;
    int msg_count;
};

// Zeroes the record and sets the defaults: MQTT 3.1, keep-alive 60, port 1883,
// in-flight 20, clean session, line ends on.
void mqtt_config_defaults(mqtt_config* cfg);
// Frees every owned text and both topic arrays, leaving the record zeroed.
void mqtt_config_free(mqtt_config* cfg);

// Defaults, then the options file, then `argv` (argv[0] is the program name). After
// parsing it checks the combination of options. Returns 0 on success, 1 on an error
// (its message is on `err`), 2 when "--help" was given.
int mqtt_config_load(mqtt_config* cfg, int mode, int argc, char* argv[], FILE* err = stderr);

// Parses arguments 1..argc-1 into `cfg`. Returns 0, 1 on an error (message on
// `err`) or 2 for "--help".
int mqtt_config_parse(mqtt_config* cfg, int mode, int argc, char* argv[], FILE* err = stderr);

// The options file: "mosquitto_sub.conf" in the folder named by USERPROFILE, else by
// HOME. False (and nothing in `path`) when neither names a folder of 1 to 1023
// characters.
bool mqtt_config_file_path(char* path, size_t size);
