#include "mqtt-c/mqtt_envelope.h"

#include <cjson/cJSON.h>

JsonPtr mqtt_envelope_create(const char* forwardTopic, int cmdId, const char* devSn, const char* pcId,
                             cJSON** payloadRoot)
{
    JsonPtr root(cJSON_CreateObject());
    JsonPtr ctrlTree(cJSON_CreateObject());
    JsonPtr payloadTree(cJSON_CreateObject());
    if (root == nullptr || ctrlTree == nullptr || payloadTree == nullptr) {
        return nullptr;
    }
    // From here on the envelope owns both parts.
    cJSON* ctrl = ctrlTree.release();
    cJSON* payload = payloadTree.release();
    cJSON_AddItemToObject(root.get(), "ctrl_root", ctrl);
    cJSON_AddItemToObject(root.get(), "payload_root", payload);
    mqtt_json_add_text(ctrl, "forward_topic", forwardTopic);
    cJSON_AddNumberToObject(payload, "cmdId", cmdId);
    mqtt_json_add_text(payload, "dev_sn", devSn);
    mqtt_json_add_text(payload, "pc_id", pcId);
    if (payloadRoot != nullptr) {
        *payloadRoot = payload;
    }
    return root;
}

JsonPtr mqtt_binder_request_create(int cmdId)
{
    JsonPtr root(cJSON_CreateObject());
    if (root != nullptr) {
        cJSON_AddNumberToObject(root.get(), "cmd_id", cmdId);
    }
    return root;
}

void mqtt_json_add_text(cJSON* object, const char* name, const char* text)
{
    cJSON_AddStringToObject(object, name, text != nullptr ? text : "");
}

std::string mqtt_json_print(const cJSON* root)
{
    if (root == nullptr) {
        return std::string();
    }
    const JsonText text(cJSON_PrintUnformatted(root));
    if (text == nullptr) {
        return std::string();
    }
    return std::string(text.get());
}
