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

int MessagePublisher::PublishRelease(const char* topic, const void* payload, int length, int qos)
{
    return Publish(topic, payload, length, qos);
}

int MessagePublisher::PublishJsonRelease(const char* topic, const cJSON* root, int qos)
{
    const std::string text = mqtt_json_print(root);
    if (text.empty()) {
        return -1;
    }
    return PublishRelease(topic, text.data(), static_cast<int>(text.size()), qos);
}

int MessagePublisher::PublishJsonReleaseToServer(const cJSON* root, int qos)
{
    const std::string text = mqtt_json_print(root);
    if (text.empty()) {
        return -1;
    }
    const std::string topic = ServerTopic();
    if (topic.empty()) {
        return PublishToServer(text.data(), static_cast<int>(text.size()), qos);
    }
    return PublishRelease(topic.c_str(), text.data(), static_cast<int>(text.size()), qos);
}
