#include "mqtt-c/mqtt_topics.h"

#include "app/InputRules.h"

#include <cstdio>
#include <string>

const char* const kPcTopicFormat = "/%s/lumetraToPC";
const char* const kGatewayDownTopicFormat = "/%s/down";
const char* const kTransparentDownTopicFormat = "/sys/transparent/%s/down";
const char* const kBinderTopic = "/sys/varnex_binder/sub";
const char* const kWillTopic = "/sys/lumetra/pfs/pc";
const char* const kWillPayloadFormat = "{\"pc_id\":\"%s\",\"cmdId\":%d}";
const char* const kRawTopicPrefix = "/sys/trans_com/";
const char* const kForwardTunnel = "/ipc/kavno/publish/lumetra";
const char* const kForwardOpen = "/ipc/kavno/publish";

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
