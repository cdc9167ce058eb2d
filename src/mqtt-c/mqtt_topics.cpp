#include "mqtt-c/mqtt_topics.h"

#include <cstdio>

const char* const kPcTopicFormat = "/%s/lumetraToPC";
const char* const kGatewayDownTopicFormat = "/%s/down";
const char* const kTransparentDownTopicFormat = "/sys/transparent/%s/down";
const char* const kBinderTopic = "/sys/varnex_binder/sub";
const char* const kWillTopic = "/sys/lumetra/pfs/pc";
const char* const kWillPayloadFormat = "{\"pc_id\":\"%s\",\"cmdId\":%d}";
const char* const kRawTopicPrefix = "/sys/trans_com/";
const char* const kForwardTunnel = "/ipc/kavno/publish/lumetra";
const char* const kForwardOpen = "/ipc/kavno/publish";

void mqtt_format_down_topic(char (&topic)[kTopicBufferSize], const char* gwSn)
{
    std::snprintf(topic, sizeof(topic), kGatewayDownTopicFormat, gwSn != nullptr ? gwSn : "");
}

void mqtt_format_transparent_topic(char (&topic)[kTopicBufferSize], const char* gwSn)
{
    std::snprintf(topic, sizeof(topic), kTransparentDownTopicFormat, gwSn != nullptr ? gwSn : "");
}

void mqtt_copy_binder_topic(char (&topic)[kTopicBufferSize])
{
    std::snprintf(topic, sizeof(topic), "%s", kBinderTopic);
}
