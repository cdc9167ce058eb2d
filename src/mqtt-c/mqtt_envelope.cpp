#include "mqtt-c/mqtt_envelope.h"

#include <cjson/cJSON.h>

#include <cstdlib>

cJSON* mqtt_envelope_create(const char* forwardTopic, int cmdId, const char* devSn, const char* pcId,
                            cJSON** payloadRoot)
{
    cJSON* root = cJSON_CreateObject();
    cJSON* ctrl = cJSON_CreateObject();
    cJSON* payload = cJSON_CreateObject();
    if (root == nullptr || ctrl == nullptr || payload == nullptr) {
        cJSON_Delete(root);
        cJSON_Delete(ctrl);
        cJSON_Delete(payload);
        return nullptr;
    }
    cJSON_AddItemToObject(root, "ctrl_root", ctrl);
    cJSON_AddItemToObject(root, "payload_root", payload);
    mqtt_json_add_text(ctrl, "forward_topic", forwardTopic);
    cJSON_AddNumberToObject(payload, "cmdId", cmdId);
    mqtt_json_add_text(payload, "dev_sn", devSn);
    mqtt_json_add_text(payload, "pc_id", pcId);
    if (payloadRoot != nullptr) {
        *payloadRoot = payload;
    }
    return root;
}

cJSON* mqtt_binder_request_create(int cmdId)
{
    cJSON* root = cJSON_CreateObject();
    if (root != nullptr) {
        cJSON_AddNumberToObject(root, "cmd_id", cmdId);
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
    char* text = cJSON_PrintUnformatted(root);
    if (text == nullptr) {
        return std::string();
    }
    std::string printed(text);
    cJSON_free(text);
    return printed;
}
