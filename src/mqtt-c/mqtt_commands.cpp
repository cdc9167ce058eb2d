#include "mqtt-c/mqtt_commands.h"

#include "mqtt-c/mqtt_base64.h"
#include "mqtt-c/mqtt_envelope.h"
#include "mqtt-c/mqtt_topics.h"

#include <cjson/cJSON.h>

#include <string>

namespace {

// An envelope whose payload holds only the identities.
JsonPtr PlainEnvelope(const char* forwardTopic, int cmdId, const char* devSn, const char* pcId)
{
    return mqtt_envelope_create(forwardTopic, cmdId, devSn, pcId, nullptr);
}

} // namespace

JsonPtr mqtt_build_leave_pc(const char* pcId)
{
    JsonPtr root(mqtt_binder_request_create(kCmdLeavePc));
    if (root != nullptr) {
        mqtt_json_add_text(root.get(), "pc_id", pcId);
    }
    return root;
}

JsonPtr mqtt_build_bind_request(const char* gwSn, const char* devSn, const char* pcId)
{
    JsonPtr root(mqtt_binder_request_create(kCmdBindRequest));
    if (root != nullptr) {
        mqtt_json_add_text(root.get(), "gw_sn", gwSn);
        mqtt_json_add_text(root.get(), "dev_sn", devSn);
        mqtt_json_add_text(root.get(), "pc_id", pcId);
    }
    return root;
}

JsonPtr mqtt_build_link_parameters(const char* pcId, const char* gwSn, const char* devSn, const char* com,
                                   int baud, char parity, int dataBits, int stopBits)
{
    JsonPtr root(mqtt_binder_request_create(kCmdLinkParameters));
    if (root != nullptr) {
        const char parityText[2] = {parity, '\0'};
        cJSON_AddNumberToObject(root.get(), "link_type", 1);
        mqtt_json_add_text(root.get(), "pc_id", pcId);
        mqtt_json_add_text(root.get(), "gw_sn", gwSn);
        mqtt_json_add_text(root.get(), "dev_sn", devSn);
        mqtt_json_add_text(root.get(), "com", com);
        cJSON_AddNumberToObject(root.get(), "baud", baud);
        mqtt_json_add_text(root.get(), "parity", parityText);
        cJSON_AddNumberToObject(root.get(), "data_bit", dataBits);
        cJSON_AddNumberToObject(root.get(), "stop_bit", stopBits);
    }
    return root;
}

JsonPtr mqtt_build_link_release(const char* pcId, const char* gwSn, const char* devSn)
{
    JsonPtr root(mqtt_binder_request_create(kCmdLinkRelease));
    if (root != nullptr) {
        cJSON_AddNumberToObject(root.get(), "link_type", 1);
        mqtt_json_add_text(root.get(), "pc_id", pcId);
        mqtt_json_add_text(root.get(), "gw_sn", gwSn);
        mqtt_json_add_text(root.get(), "dev_sn", devSn);
    }
    return root;
}

JsonPtr mqtt_build_port_transfer_release(const char* gwSn, const char* devSn, const char* pcId)
{
    JsonPtr root(mqtt_binder_request_create(kCmdLinkRelease));
    if (root != nullptr) {
        mqtt_json_add_text(root.get(), "gw_sn", gwSn);
        mqtt_json_add_text(root.get(), "dev_sn", devSn);
        mqtt_json_add_text(root.get(), "pc_id", pcId);
        cJSON_AddNumberToObject(root.get(), "restart_gw_service", 0);
    }
    return root;
}

JsonPtr mqtt_build_target_request_local(const char* devSn, const char* pcId)
{
    return PlainEnvelope(kForwardTunnel, kCmdTargetRequestLocal, devSn, pcId);
}

JsonPtr mqtt_build_empty_command(const char* devSn, const char* pcId)
{
    return PlainEnvelope(kForwardTunnel, kCmdEmpty, devSn, pcId);
}

JsonPtr mqtt_build_ack(const char* devSn, const char* pcId, uint32_t seq)
{
    cJSON* payload = nullptr;
    JsonPtr root(mqtt_envelope_create(kForwardTunnel, kCmdAck, devSn, pcId, &payload));
    if (root != nullptr) {
        cJSON_AddNumberToObject(payload, "seq", seq);
    }
    return root;
}

JsonPtr mqtt_build_data(const char* devSn, const char* pcId, uint32_t ptSn, int tunType, const void* bytes,
                        size_t length)
{
    cJSON* payload = nullptr;
    JsonPtr root(mqtt_envelope_create(kForwardTunnel, kCmdData, devSn, pcId, &payload));
    if (root != nullptr) {
        const std::string encoded = mqtt_base64_encode(bytes, bytes != nullptr ? length : 0);
        cJSON_AddNumberToObject(payload, "pt_sn", ptSn);
        cJSON_AddNumberToObject(payload, "tun_type", tunType);
        mqtt_json_add_text(payload, "pt_payload", encoded.c_str());
    }
    return root;
}

JsonPtr mqtt_build_serial_data(const char* devSn, const char* pcId, uint32_t ptSn, int tunType,
                               const void* bytes, size_t length, int sockNew)
{
    JsonPtr root(mqtt_build_data(devSn, pcId, ptSn, tunType, bytes, length));
    if (root != nullptr) {
        cJSON* payload = cJSON_GetObjectItemCaseSensitive(root.get(), "payload_root");
        cJSON_AddNumberToObject(payload, "pt_len", static_cast<double>(bytes != nullptr ? length : 0));
        cJSON_AddNumberToObject(payload, "sock_new", sockNew);
    }
    return root;
}

JsonPtr mqtt_build_target_request(const char* devSn, const char* pcId, int tunType, const char* devIp,
                                  int devPort)
{
    cJSON* payload = nullptr;
    JsonPtr root(mqtt_envelope_create(kForwardTunnel, kCmdTargetRequest, devSn, pcId, &payload));
    if (root != nullptr) {
        cJSON_AddNumberToObject(payload, "tun_type", tunType);
        mqtt_json_add_text(payload, "dev_ip", devIp);
        cJSON_AddNumberToObject(payload, "dev_port", devPort);
    }
    return root;
}

JsonPtr mqtt_build_reply_2994(const char* devSn, const char* pcId)
{
    return PlainEnvelope(kForwardTunnel, kCmdReply2994, devSn, pcId);
}

JsonPtr mqtt_build_open_request(const char* devSn, const char* pcId)
{
    return PlainEnvelope(kForwardOpen, kCmdOpenRequest, devSn, pcId);
}

JsonPtr mqtt_build_unbind(const char* devSn, const char* pcId)
{
    return PlainEnvelope(kForwardOpen, kCmdUnbind, devSn, pcId);
}

JsonPtr mqtt_build_vpn_channel_request(const char* gwSn, const char* pcId)
{
    JsonPtr root(cJSON_CreateObject());
    if (root != nullptr) {
        mqtt_json_add_text(root.get(), "gwSn", gwSn);
        cJSON_AddNumberToObject(root.get(), "cmdId", kCmdVpnChannelRequest);
        mqtt_json_add_text(root.get(), "pcId", pcId);
    }
    return root;
}

JsonPtr mqtt_build_vpn_switch_on(const char* gwSn, const char* lanIp, const char* lanMask, const char* pcId)
{
    JsonPtr root(cJSON_CreateObject());
    if (root != nullptr) {
        mqtt_json_add_text(root.get(), "gwSn", gwSn);
        cJSON_AddNumberToObject(root.get(), "cmdId", kCmdVpnSwitch);
        mqtt_json_add_text(root.get(), "lanIp", lanIp);
        mqtt_json_add_text(root.get(), "lanMask", lanMask);
        mqtt_json_add_text(root.get(), "pcId", pcId);
        cJSON_AddNumberToObject(root.get(), "switchOn", 1);
    }
    return root;
}

JsonPtr mqtt_build_vpn_switch_off(const char* gwSn, int vpnPort, const char* pcId)
{
    JsonPtr root(cJSON_CreateObject());
    if (root != nullptr) {
        mqtt_json_add_text(root.get(), "gwSn", gwSn);
        cJSON_AddNumberToObject(root.get(), "vpnPort", vpnPort);
        cJSON_AddNumberToObject(root.get(), "switchOn", 0);
        mqtt_json_add_text(root.get(), "pcId", pcId);
        cJSON_AddNumberToObject(root.get(), "cmdId", kCmdVpnSwitch);
    }
    return root;
}
