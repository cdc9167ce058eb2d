#pragma once

#include <cstddef>

// Topics of the broker and the helpers that format them into 256-byte buffers.

// Subscribed by the PC: every message for this PC ("/<PC identifier>/lumetraToPC").
extern const char* const kPcTopicFormat;
// Envelope messages to one gateway ("/<gateway serial>/down").
extern const char* const kGatewayDownTopicFormat;
// Envelope messages that carry serial-tunnel data ("/sys/transparent/<gateway serial>/down").
extern const char* const kTransparentDownTopicFormat;
// Flat binder requests.
extern const char* const kBinderTopic;
// Last will of the PC's client, and its payload (PC identifier, then 3012).
extern const char* const kWillTopic;
extern const char* const kWillPayloadFormat;
// Messages on topics with this prefix are handed on raw, never parsed.
extern const char* const kRawTopicPrefix;

// Forward topics (the "forward_topic" of an envelope).
extern const char* const kForwardTunnel; // "/ipc/kavno/publish/lumetra": tunnel traffic
extern const char* const kForwardOpen;   // "/ipc/kavno/publish": open request and unbind

constexpr size_t kTopicBufferSize = 256;

// "/<gateway serial>/down". False (an empty topic and one line on standard error)
// when the serial cannot be a topic level (InputRules::IsSerial): empty, too long,
// or holding '/', '+', '#' or a control character.
bool mqtt_format_down_topic(char (&topic)[kTopicBufferSize], const char* gwSn);
// "/sys/transparent/<gateway serial>/down", with the same check.
bool mqtt_format_transparent_topic(char (&topic)[kTopicBufferSize], const char* gwSn);
// "/sys/varnex_binder/sub".
void mqtt_copy_binder_topic(char (&topic)[kTopicBufferSize]);
