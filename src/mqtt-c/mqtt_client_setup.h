#pragma once

#include "mqtt-c/mqtt_config.h"

#include <cstddef>
#include <cstdio>

struct mosquitto;

// The steps that set a broker connection up from its texts (MqttConnection runs
// them); none of them keeps state of its own.

// The 16-entry argument list the connection loads its options from:
// "mosquitto_sub", "-v", "-h", host, "-t", "/<PC identifier>/lumetraToPC", "-k",
// "10", "-q", "2", "-p", port, "-u", username, "-P", password. Entries point into
// the record's buffers and at the given texts.
struct mqtt_client_args
{
    char host[260];
    char topic[260];
    char keepalive[260];
    char port[10];
    char* argv[16];
};
void mqtt_client_build_args(mqtt_client_args* args, const char* pcId, const char* host, int port,
                            const char* username, const char* password);

// The client identity: "<prefix><pid>" with an id prefix, the given id, otherwise
// "<PC identifier>|<pid>-<host name>" cut to 23 characters. Returns 0, or 1 (after a
// line on `err` unless the record is quiet) on error.
int mqtt_client_id_generate(mqtt_config* cfg, const char* pcId, FILE* err);

// Hands the record's will, user name and password, in-flight limit and protocol
// version to the client. Returns 0, or 1 (after a line on `err` unless quiet).
int mqtt_client_opts_set(struct mosquitto* mosq, mqtt_config* cfg, FILE* err);
