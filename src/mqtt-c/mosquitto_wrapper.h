#pragma once

#include "mqtt-c/mqtt_config.h"

#include <cstddef>
#include <cstdio>

struct mosquitto;
struct mosquitto_message;
class MessageWindow;

// The program's one connection to the MQTT broker: plain functions around
// libmosquitto and module-wide state (one client, one option record, the PC
// identifier, the server topic and the will payload). The client runs on its own
// thread (mqtt_client_run); publishing is allowed from any thread.

// Copies the PC identifier (at most 259 characters) into the client's buffer. Call
// it before the client thread starts.
void mqtt_set_pc_id(const char* text, size_t length);
// The PC identifier buffer (empty until mqtt_set_pc_id).
const char* mqtt_pc_id();

// The window that receives every inbound message (see mqtt_dispatch). Null sends
// them nowhere.
void mqtt_set_target_window(MessageWindow* window);
MessageWindow* mqtt_target_window();

// The thread body: sets the client up with the built-in argument list, connects and
// runs the network loop, which reconnects on its own. Returns only when the loop ends
// (mqtt_client_stop, or a fatal error) or when set-up fails.
void mqtt_client_run(const char* host, int port, const char* username, const char* password);

// Ends a running mqtt_client_run: disconnects cleanly (no will) and lets the loop
// return. For an orderly shutdown of the command-line client and of tests; the
// window program never calls it.
void mqtt_client_stop();

// Publishes one message (retain false) and returns the library's result; without a
// client nothing is published and MOSQ_ERR_INVAL is returned.
int mqtt_publish(const char* topic, const void* payload, int length, int qos);
// The same on the PC's server topic "/<PC identifier>/lumetraToServer".
int mqtt_publish_to_server(const void* payload, int length, int qos);
// How many published messages the library has not finished with: QoS 0 ones not yet
// written, QoS 1 and 2 ones not yet acknowledged by the broker. A message of QoS 2
// reaches the subscribers only once its exchange is complete, so an orderly stop
// waits for 0 before it disconnects.
size_t mqtt_unfinished_publishes();

// Where the module writes its diagnostics (default stdout and stderr). Set before
// the client thread starts.
void mqtt_set_streams(FILE* out, FILE* err);

// The steps of mqtt_client_run, for tests and diagnostics.
// Builds the 16-entry argument list: "mosquitto_sub", "-v", "-h", host, "-t",
// "/<PC identifier>/lumetraToPC", "-k", "10", "-q", "2", "-p", port, "-u", username,
// "-P", password. Entries point into the record's buffers and at the given texts.
struct mqtt_client_args
{
    char host[260];
    char topic[260];
    char keepalive[260];
    char port[10];
    char* argv[16];
};
void mqtt_client_build_args(mqtt_client_args* args, const char* host, int port, const char* username,
                            const char* password);
// Loads the options, creates the client with its will and callbacks. Returns 0 on
// success, non-zero when set-up failed (the client is then absent).
int mqtt_client_init(const char* host, int port, const char* username, const char* password);
// Connects (the loop retries on its own when this fails) and returns the result.
int mqtt_client_connect();
// Destroys the client and frees the option record.
void mqtt_client_destroy();
// The option record of the current client (valid between init and destroy).
const mqtt_config* mqtt_client_config();
// The client identity: "<prefix><pid>" with an id prefix, the given id, otherwise
// "<PC identifier>|<pid>-<host name>" cut to 23 characters. Returns 0 or 1 on error.
int mqtt_client_id_generate(mqtt_config* cfg, const char* pcId);
// The server topic and will payload built by mqtt_client_init.
const char* mqtt_server_topic();
const char* mqtt_will_payload();

// The callbacks (libmosquitto calls them on the client thread).
void on_connect(struct mosquitto* mosq, void* obj, int result);
void on_disconnect(struct mosquitto* mosq, void* obj, int result);
void on_subscribe(struct mosquitto* mosq, void* obj, int mid, int qos_count, const int* granted_qos);
void on_message(struct mosquitto* mosq, void* obj, const struct mosquitto_message* message);
void on_publish(struct mosquitto* mosq, void* obj, int mid);
void on_log(struct mosquitto* mosq, void* obj, int level, const char* str);
