#pragma once

#include "app/JsonPtr.h"

#include <cstddef>
#include <cstdint>

// Builders of every outbound message of the tunnel protocol, one per command code.
// Each returns a new cJSON tree the caller owns (it prints and publishes it) or
// null when cJSON cannot build it. The identities are passed in: gateway serial
// (gw_sn), device serial (dev_sn) and the PC identifier (pc_id), all UTF-8.

// Command codes of the tunnel protocol.
enum MqttCommand
{
    kCmdVpnChannelRequest = 97,
    kCmdGatewayStatus = 98,
    kCmdVpnSwitch = 99,
    kCmdVpnInfo = 100,
    kCmdSerialTunnelReady = 1011,
    kCmdLeavePc = 2978,
    kCmdSerialData = 2980,
    kCmdTargetRequestLocal = 2981,
    kCmdBindRequest = 2983,
    kCmdBindAnswer = 2984,
    kCmdEmpty = 2985,
    kCmdPortForwardMatched = 2986,
    kCmdAck = 2987,
    kCmdPortForwardData = 2988,
    kCmdData = 2990,
    kCmdPortForwardNotice = 2991,
    kCmdTargetRequest = 2992,
    kCmdResult = 2993,
    kCmdReply2994 = 2994,
    kCmdParameterRequest = 2995,
    kCmdOpenRequest = 2996,
    kCmdReplyRequest = 2997,
    kCmdUnbind = 2998,
    kCmdLinkParameters = 3000,
    kCmdRegistrationResult = 3001,
    kCmdLinkRelease = 3002,
    kCmdFarEndClosed = 3003,
    kCmdResultWithoutTunnel = 3010,
    kCmdPcOfflineWill = 3012,
};

// Binder requests ("/sys/varnex_binder/sub").
JsonPtr mqtt_build_leave_pc(const char* pcId);                                          // 2978
JsonPtr mqtt_build_bind_request(const char* gwSn, const char* devSn, const char* pcId); // 2983
JsonPtr mqtt_build_link_parameters(const char* pcId, const char* gwSn, const char* devSn, const char* com,
                                   int baud, char parity, int dataBits, int stopBits);  // 3000
JsonPtr mqtt_build_link_release(const char* pcId, const char* gwSn, const char* devSn); // 3002, serial

// The port-forward tunnel's release request, sent in a port-transfer frame (3002).
JsonPtr mqtt_build_port_transfer_release(const char* gwSn, const char* devSn, const char* pcId);

// Envelopes to a gateway ("/<gateway serial>/down" unless said otherwise).
JsonPtr mqtt_build_target_request_local(const char* devSn, const char* pcId); // 2981, tunnel forward
JsonPtr mqtt_build_empty_command(const char* devSn, const char* pcId);        // 2985, tunnel forward
JsonPtr mqtt_build_ack(const char* devSn, const char* pcId, uint32_t seq);    // 2987, tunnel forward
// 2990, tunnel forward: "pt_sn", "tun_type", "pt_payload" (Base64 of the bytes).
JsonPtr mqtt_build_data(const char* devSn, const char* pcId, uint32_t ptSn, int tunType, const void* bytes,
                        size_t length);
// 2990 of the serial tunnel (to "/sys/transparent/<gateway serial>/down"): as above,
// then "pt_len" and "sock_new".
JsonPtr mqtt_build_serial_data(const char* devSn, const char* pcId, uint32_t ptSn, int tunType,
                               const void* bytes, size_t length, int sockNew);
// 2992, tunnel forward: "tun_type", "dev_ip", "dev_port".
JsonPtr mqtt_build_target_request(const char* devSn, const char* pcId, int tunType, const char* devIp,
                                  int devPort);
JsonPtr mqtt_build_reply_2994(const char* devSn, const char* pcId);   // 2994, tunnel forward
JsonPtr mqtt_build_open_request(const char* devSn, const char* pcId); // 2996, open forward
JsonPtr mqtt_build_unbind(const char* devSn, const char* pcId);       // 2998, open forward

// Requests of the maintenance channel on the PC's server topic (QoS 2).
JsonPtr mqtt_build_vpn_channel_request(const char* gwSn, const char* pcId); // 97
JsonPtr mqtt_build_vpn_switch_on(const char* gwSn, const char* lanIp, const char* lanMask,
                                 const char* pcId);                                 // 99, "switchOn" 1
JsonPtr mqtt_build_vpn_switch_off(const char* gwSn, int vpnPort, const char* pcId); // 99, "switchOn" 0
