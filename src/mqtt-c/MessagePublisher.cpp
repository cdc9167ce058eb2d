#include "mqtt-c/MessagePublisher.h"

#include "mqtt-c/mqtt_envelope.h"

#include <string>

int MessagePublisher::PublishJson(const char* topic, const cJSON* root, int qos)
{
    const std::string text = mqtt_json_print(root);
    if (text.empty()) {
        return -1;
    }
    return Publish(topic, text.data(), static_cast<int>(text.size()), qos);
}

int MessagePublisher::PublishJsonToServer(const cJSON* root, int qos)
{
    const std::string text = mqtt_json_print(root);
    if (text.empty()) {
        return -1;
    }
    return PublishToServer(text.data(), static_cast<int>(text.size()), qos);
}
