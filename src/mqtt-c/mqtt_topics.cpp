#include "mqtt-c/mqtt_topics.h"

#include "app/InputRules.h"

#include <cstdio>
#include <string>

namespace {

// A gateway serial becomes one topic level: a wildcard or a separator in it would
// address other gateways' topics, so such a serial gives no topic at all.
bool FormatGatewayTopic(char (&topic)[kTopicBufferSize], const char* format, const char* gwSn)
{
    const std::string serial = gwSn != nullptr ? gwSn : "";
    if (!InputRules::IsSerial(serial)) {
        topic[0] = '\0';
        InputRules::ReportDropped("message to gateway \"" + InputRules::Excerpt(serial) + "\"",
                                  "the serial number cannot be a topic level");
        return false;
    }
    std::snprintf(topic, sizeof(topic), format, serial.c_str());
    return true;
}

} // namespace

bool mqtt_format_down_topic(char (&topic)[kTopicBufferSize], const char* gwSn)
{
    return FormatGatewayTopic(topic, kGatewayDownTopicFormat, gwSn);
}

bool mqtt_format_transparent_topic(char (&topic)[kTopicBufferSize], const char* gwSn)
{
    return FormatGatewayTopic(topic, kTransparentDownTopicFormat, gwSn);
}

void mqtt_copy_binder_topic(char (&topic)[kTopicBufferSize])
{
    std::snprintf(topic, sizeof(topic), "%s", kBinderTopic);
}
