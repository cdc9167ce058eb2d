#pragma once

#include <cstddef>

// Topics of the broker and the helpers that format them into 256-byte buffers.

// Subscribed by the PC: every message for this PC ("/<PC identifier>/lumetraToPC").
inline constexpr char kPcTopicFormat[] = "/%s/lumetraToPC";
// Envelope messages to one gateway ("/<gateway serial>/down").
inline constexpr char kGatewayDownTopicFormat[] = "/%s/down";
// Envelope messages that carry serial-tunnel data ("/sys/transparent/<gateway serial>/down").
inline constexpr char kTransparentDownTopicFormat[] = "/sys/transparent/%s/down";
// Flat binder requests.
inline constexpr char kBinderTopic[] = "/sys/varnex_binder/sub";
// Last will of the PC's client, and its payload (PC identifier, then 3012).
inline constexpr char kWillTopic[] = "/sys/lumetra/pfs/pc";
inline constexpr char kWillPayloadFormat[] = "{\"pc_id\":\"%s\",\"cmdId\":%d}";
// Messages on topics with this prefix are handed on raw, never parsed.
inline constexpr char kRawTopicPrefix[] = "/sys/trans_com/";

// Forward topics (the "forward_topic" of an envelope).
inline constexpr char kForwardTunnel[] = "/ipc/kavno/publish/lumetra"; // tunnel traffic
inline constexpr char kForwardOpen[] = "/ipc/kavno/publish";           // open request and unbind

constexpr size_t kTopicBufferSize = 256;

// "/<gateway serial>/down". False (an empty topic and one line on standard error)
// when the serial cannot be a topic level (InputRules::IsSerial): empty, too long,
// or holding '/', '+', '#' or a control character.
bool mqtt_format_down_topic(char (&topic)[kTopicBufferSize], const char* gwSn);
// "/sys/transparent/<gateway serial>/down", with the same check.
bool mqtt_format_transparent_topic(char (&topic)[kTopicBufferSize], const char* gwSn);
// "/sys/varnex_binder/sub".
void mqtt_copy_binder_topic(char (&topic)[kTopicBufferSize]);
