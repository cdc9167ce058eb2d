#pragma once

#include "app/JsonPtr.h"

#include <string>

// The two shapes of outbound JSON. An envelope to a gateway has exactly two members,
// "ctrl_root" {"forward_topic"} then "payload_root" starting with "cmdId", "dev_sn",
// "pc_id"; a binder request is flat and starts with "cmd_id". Texts are UTF-8; a
// null text is sent as "".

// Creates an envelope and hands out its "payload_root" (owned by the envelope) for
// the command's own members.
// Null when cJSON cannot create it.
JsonPtr mqtt_envelope_create(const char* forwardTopic, int cmdId, const char* devSn, const char* pcId,
                             cJSON** payloadRoot);
// Creates {"cmd_id": cmdId}.
JsonPtr mqtt_binder_request_create(int cmdId);

// Adds a text member, treating null as "".
void mqtt_json_add_text(cJSON* object, const char* name, const char* text);

// Prints `root` without white space; empty when printing fails.
std::string mqtt_json_print(const cJSON* root);
