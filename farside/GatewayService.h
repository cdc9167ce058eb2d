#pragma once

#include <string>

class ServiceContext;

// The gateways: envelope messages on "/<gw>/down" and "/sys/transparent/<gw>/down"
// ({"ctrl_root":{"forward_topic"},"payload_root":{"cmdId","dev_sn","pc_id",...}}).
// Only gateways that are online in the inventory answer.
//   2996 open request   -> 2995 (asks for the link parameters or target)
//   2992 target request -> 2993 result ("flag" 1, or 0 with a message)
//   2990 data           -> to the device; its answer comes back by its return path
//   2998 unbind, 2994 (answer to the keep-alive 2997), 2987, 2985, 2981: no answer
class GatewayService
{
public:
    explicit GatewayService(ServiceContext& context) : context_(context) {}

    // `gwSn` is the topic's gateway; `transparent` tells the "/sys/transparent/" topic.
    void Handle(const std::string& gwSn, const std::string& payload, bool transparent);
    // The keep-alive the far side sends now and then to a PC holding a device.
    void SendKeepAlive(const std::string& pcId, const std::string& gwSn, const std::string& devSn);

private:
    ServiceContext& context_;
};
